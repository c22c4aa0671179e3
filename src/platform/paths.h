// Paths and folders as a command-line tool walks them: what stands at a
// path, what a folder holds, and paths made absolute and compared as the
// file system compares them. Paths are UTF-8 (Windows) or the system's
// bytes (elsewhere), as everywhere in the library.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace kzr {

#if defined(_WIN32)
inline constexpr char kPathSeparator = '\\';
inline constexpr bool kIsWindows = true;
#else
inline constexpr char kPathSeparator = '/';
inline constexpr bool kIsWindows = false;
#endif

bool IsPathSeparator(char c) noexcept;

enum class FileKind { kMissing, kFile, kFolder, kLink, kOther };

// What stands at `path`; with `follow`, what a link there leads to.
FileKind KindOf(const std::string& path, bool follow);

struct FolderEntry {
  std::string name;
  FileKind kind;  // a link is kLink, not what it leads to
};

// What a folder holds, without "." and "..", in no particular order.
Status ListFolder(const std::string& path, std::vector<FolderEntry>& entries);

// Whether `path` names its place from a root (or, on Windows, a drive).
bool IsAbsolutePath(std::string_view path) noexcept;
// `path` made absolute against the current folder, with "." and ".."
// components and repeated separators removed without looking at the disk.
std::string AbsolutePath(const std::string& path);
// `path` relative to `base` when it lies inside it or is it ("" then), both
// absolute and normalised; nothing otherwise.
std::optional<std::string> RelativeInside(const std::string& path, const std::string& base);
// The path with a separator at its end.
std::string WithTrailingSeparator(std::string path);
// The folder for temporary files: TMPDIR, or the system's.
std::string TemporaryFolder();

// A path, or a name, as the file system tells files apart: on Windows in
// upper case with one kind of separator (every letter, not only ASCII);
// elsewhere the path itself.
std::string PathKey(std::string_view path);

}  // namespace kzr
