// ProcessFile: extracting or verifying the entry that the listing reported
// last. The member's bytes are produced in memory first (read, then decoded
// or unmasked); the output file is created only once they are ready, so a
// corrupt entry never destroys or truncates what stands at the destination.
#pragma once

#include "plugin/archive_handle.h"
#include "plugin/host_interface.h"

namespace kzr {

// Longest destination path + name, in characters (the host's path limit).
inline constexpr std::size_t kMaxOutputPathLength = 511;

// `operation` kExtract writes the member to dest_path followed directly by
// dest_name (no separator is inserted; a null dest_path means dest_name
// alone); kTest verifies the entry the same way without writing; any other
// value does nothing and answers kOk.
host::ResultCode ProcessCurrentEntry(ArchiveHandle& handle, int operation, const char* dest_path,
                                     const char* dest_name) noexcept;

}  // namespace kzr
