// ProcessFile: extracting or verifying the entry that the listing reported
// last. The member streams from the archive through its decoder into a
// temporary file beside the output, which is renamed onto the output name
// only when the member is complete: a corrupt entry or a failed write leaves
// no file and touches nothing that stood at the destination.
#pragma once

#include <cstddef>

#include "plugin/archive_handle.h"
#include "plugin/host_interface.h"

namespace kzr {

// Longest destination path + name, in characters (the host's path limit).
inline constexpr std::size_t kMaxOutputPathLength = 511;

// `operation` kExtract writes the member to dest_path followed directly by
// dest_name (no separator is inserted; a null dest_path means dest_name
// alone); kTest verifies the entry the same way without writing; any other
// value does nothing and answers kOk. Progress goes to the handle's callback
// with the entry's name (on Windows the stored one; on Linux as the listing
// reports it): 0 first, then the bytes of each piece done.
Status ProcessCurrentEntry(ArchiveHandle& handle, int operation, const char* dest_path,
                           const char* dest_name);

}  // namespace kzr
