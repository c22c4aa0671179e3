// PackFiles: writing a new masked archive from the host's file list.
//
// Two passes over the list: the data pass appends each file's bytes, read
// whole and run through the content masks, from offset 52 on; the directory
// pass measures each file again and appends its record, masked with the
// directory key chain; the header goes over the first 52 bytes last. Any
// failure after the archive file was created removes it: nothing but a
// complete archive is ever left at the archive path.
#pragma once

#include <cstddef>

#include "plugin/host_interface.h"

namespace kzr {

// The longest full source path or stored name, in characters.
inline constexpr std::size_t kMaxPackPathLength = 2047;

// `add_list` is a run of NUL-terminated names closed by an empty one. Each
// item is read from source_path + item and stored as sub_path + item (plain
// concatenation; a null sub_path means none). Items naming a folder (ending
// with a separator) are skipped.
host::ResultCode PackFileList(const char* archive_path, const char* sub_path,
                              const char* source_path, const char* add_list) noexcept;

}  // namespace kzr
