// PackFiles and DeleteFiles in either face: the host's lists and paths made
// into the library's requests.
#pragma once

#include "base/status.h"
#include "plugin/host_interface.h"
#include "plugin/host_text.h"

namespace kzr::host {

// The longest full source path, in characters.
inline constexpr std::size_t kMaxPackPathLength = 2047;

// `add_list` is a run of NUL-terminated names closed by an empty one. Each
// item is read from source_path + item and stored as sub_path + item (with
// a `\` between them unless the sub-path is empty or ends with a
// separator); items naming a folder (ending with a separator) add nothing
// but are removed, when empty, with `move_files`.
template <typename Char>
Status PackHostList(Face face, const Char* archive_path, const Char* sub_path,
                    const Char* source_path, const Char* add_list, bool move_files);

// `delete_list` as above, with names as the listing reports them; a name
// ending in "\*.*" (or "/*.*") removes that folder and everything below it.
template <typename Char>
Status DeleteHostList(Face face, const Char* archive_path, const Char* delete_list);

}  // namespace kzr::host
