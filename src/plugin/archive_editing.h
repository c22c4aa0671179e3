// PackFiles and DeleteFiles: creating an archive, adding files to one,
// replacing and deleting its members. Every change writes a whole new
// archive beside the old one and renames it into place (ArchiveWriter), so
// whatever fails, the archive the user had is still there, byte for byte.
#pragma once

#include <cstddef>

#include "base/status.h"

namespace kzr {

// The longest full source path or stored name, in characters.
inline constexpr std::size_t kMaxPackPathLength = 2047;

// `add_list` is a run of NUL-terminated names closed by an empty one. Each
// item is read from source_path + item and stored as sub_path + item (with
// a `\` between them unless the sub-path is empty or ends with a
// separator), converted to the names' code page; a name that has no form
// there fails the whole call (kNameNotConvertible) before anything is
// written. Items naming a folder (ending with a separator) add nothing.
//
// No file at `archive_path`: a new masked archive. A KZR archive there: the
// result keeps every member that no item replaces (matched by the name the
// listing reports, letters in any case, `\` and `/` alike), in directory
// order and with its stored bytes unchanged, followed by the listed files in
// list order, in the archive's own flavour. Names are matched in the host's
// text, so a member whose stored name is not text in the code page can be
// replaced and deleted by the name it is listed under. Anything else there is refused
// (kNotAnArchive, kDamagedArchive) and left alone. With `move_files`, the
// listed files (and then folders, when empty) are removed once the new
// archive is in place.
Status PackFileList(const char* archive_path, const char* sub_path, const char* source_path,
                    const char* add_list, bool move_files);

// `delete_list` as above, with names as the listing reports them; a name
// ending in "\*.*" (or "/*.*") removes that folder and everything below it.
// Names that match nothing are passed over; when nothing matches at all the
// archive is not rewritten.
Status DeleteMembers(const char* archive_path, const char* delete_list);

}  // namespace kzr
