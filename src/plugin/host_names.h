// Names as they cross the boundary with the host. Archives store names with
// `\` between folders; a host on Windows writes `\` too, a host on Linux `/`,
// so names are converted there, on the way out and on the way in.
//
// A stored name may be anything; what the host is told must not lead it out
// of the folder it extracts to. The reported name is the stored one in the
// host's text (name_converter.h), with leading separators and a drive prefix
// dropped and empty, "." and ".." components removed; a name with none of
// those is reported exactly as converted. Replacing and deleting match
// members by their reported names, in the host's text, so what the host
// shows is what it can replace or delete.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "plugin/host_code_page.h"
#include "plugin/host_interface.h"
#include "plugin/name_converter.h"

namespace kzr::host {

inline constexpr char kStoredSeparator = '\\';
#if defined(_WIN32)
inline constexpr char kHostSeparator = '\\';
#else
inline constexpr char kHostSeparator = '/';
#endif

inline bool IsNameSeparator(char c) noexcept { return c == '\\' || c == '/'; }
// Whether the last character of `name` is a separator (not the second byte of
// a two-byte character: host_code_page.h).
bool EndsWithSeparator(std::string_view name) noexcept;
// Where the component of `name` that starts at `start` ends: at the next
// separator that is a character of its own, or at the name's end.
std::size_t ComponentEnd(std::string_view name, std::size_t start) noexcept;

// Whether the stored name is reported as it stands (no component to drop).
// `readable` counts the bytes from `name` on that may be read (at least
// `length`); reading whole words of them makes this a few steps per name.
bool IsCleanName(const char* name, std::size_t length, std::size_t readable) noexcept;
inline bool IsCleanName(const char* name, std::size_t length) noexcept {
  return IsCleanName(name, length, length);
}

// The reported form of a name, with stored separators: its first
// `capacity` bytes at most go to `out`, which may be `name` itself. Returns
// how many were written.
std::size_t CleanName(const char* name, std::size_t length, char* out,
                      std::size_t capacity) noexcept;

// The reported form of a stored name, whole (not cut), with stored
// separators, in `out`. Throws std::bad_alloc only.
void ReportedName(NameConverter& names, std::string_view stored, std::string& out);

// The length of the longest start of the host's text that is at most
// `limit` bytes long and ends between two characters: of UTF-8 on Linux, of
// the ANSI code page on Windows.
std::size_t CharacterCutPoint(std::string_view text, std::size_t limit) noexcept;

// How much of a reported name a listing shows in the host's name field: at
// most kHeaderNameSize - 1 bytes, cut between two characters.
std::size_t ListedLength(std::string_view reported) noexcept;
// The shortest a name that ListedLength cut can be: a listed name shorter than
// this is whole.
inline std::size_t ShortestCutName() noexcept {
#if defined(_WIN32)
  return HasLeadBytes() ? kHeaderNameSize - 2 : kHeaderNameSize - 1;
#else
  return kHeaderNameSize - 4;  // a UTF-8 boundary
#endif
}

// A name field (kHeaderNameSize bytes) in the host's form: separators
// converted in place.
void ToHostSeparators(char* field) noexcept;

// The name of a file the host adds, in the host's text: the sub-path, a `\`
// unless it is empty or already ends with a separator, and the item; host
// separators become stored ones. (NameConverter::ToStored makes it the
// stored name.)
std::string HostNameFor(std::string_view sub_path, std::string_view item);

// Two names name the same member when their keys are equal: ASCII letters in
// any case, `\` and `/` alike. The key is the name in lower case with `\`
// throughout (a two-byte character's second byte kept as it is).
std::string MemberKey(std::string_view name);

// A host's delete list names a whole folder as "FOLDER\*.*" (or with `/`):
// for such an item, the folder with its separator; else nothing.
std::optional<std::string_view> WholeFolderItem(std::string_view item) noexcept;

}  // namespace kzr::host
