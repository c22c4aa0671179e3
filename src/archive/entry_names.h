// The rules for an entry's name, on its text (code_page.h): UTF-8, with `\`
// (or `/`) between folders, so that ASCII bytes are always characters of
// their own.
//
// A stored name may be anything; what is shown must not lead out of the
// folder it is extracted to. The reported name is the stored one as text,
// with leading separators and a drive prefix dropped and empty, "." and ".."
// components removed; a name with none of those is reported exactly as
// converted. Names that clean to the same text are one row for a host, and
// are replaced and deleted together.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/code_page.h"

namespace kzr {

inline constexpr char kStoredSeparator = '\\';

inline bool IsNameSeparator(char c) noexcept { return c == '\\' || c == '/'; }

// Where the component of `name` that starts at `start` ends: at the next
// separator, or at the name's end.
std::size_t ComponentEnd(std::string_view name, std::size_t start) noexcept;

// Whether the name is reported as it stands (no component to drop).
bool IsCleanName(std::string_view name) noexcept;
// For a listing, which asks for every entry: when a name in the directory
// (which may be read 16 bytes past its end: EntryView::Name) is its own
// reported name (ASCII, clean), copies it to `out`, cut to `capacity` bytes,
// with `separator` for each `\`; NUL bytes follow to out[capacity]. Else
// false, with `out` in no particular state.
bool CopyPlainName(std::string_view stored, char* out, std::size_t capacity,
                   char separator) noexcept;

// The reported form of a name, its components joined by `\`.
std::string CleanName(std::string_view name);

// The reported form of a stored name, whole, in `out`. Throws
// std::bad_alloc only.
void ReportedName(CodePage& code_page, std::string_view stored, std::string& out);

// How names are matched when an entry is replaced or deleted: by the exact
// name as reported, `\` and `/` alike, and only when no entry has that name,
// with ASCII letters in any case (a host that changed the case still finds
// its entry).
std::string ExactKey(std::string_view name);
std::string FoldedKey(std::string_view name);

// The name a new file is stored under: the sub-path, a `\` unless it is
// empty or already ends with a separator, and the item, with `\` between
// folders.
std::string JoinSubPath(std::string_view sub_path, std::string_view item);

// A host's delete list names a whole folder as "FOLDER\*.*" (or with `/`):
// for such an item, the folder with its separator; else nothing.
std::optional<std::string_view> WholeFolderItem(std::string_view item) noexcept;

}  // namespace kzr
