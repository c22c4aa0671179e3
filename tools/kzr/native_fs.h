// The few file system operations the tool needs, on 8-bit paths as the
// plugin takes them (the ANSI code page on Windows, bytes elsewhere), so that
// a name goes to the file system exactly as the plugin would use it. On
// Windows they ask the system in UTF-16 (ansi_text.h), so that a name the
// code page cannot hold is seen, and refused, rather than guessed at.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kzr::cli {

#if defined(_WIN32)
inline constexpr char kNativeSeparator = '\\';
inline bool IsNativeSeparator(char c) { return c == '\\' || c == '/'; }
#else
inline constexpr char kNativeSeparator = '/';
inline bool IsNativeSeparator(char c) { return c == '/'; }
#endif

// Whether the last character of `path` is a separator, and not the second
// byte of a two-byte character (plugin/host_code_page.h).
bool EndsWithNativeSeparator(std::string_view path);

enum class FileKind { kMissing, kFile, kFolder, kSymlink, kOther };

// What stands at `path`; a symbolic link (a reparse point on Windows) is
// reported as such, not followed.
FileKind KindOf(const std::string& path);
// The same, following symbolic links.
FileKind KindOfTarget(const std::string& path);

std::optional<std::uint64_t> FileSize(const std::string& path);

// Creates one folder; false with the system's reason when that fails.
bool MakeFolder(const std::string& path, std::string& error);
// Creates a folder and any missing parents.
bool MakeFolders(const std::string& path, std::string& error);

// Renames `from` over `to`, replacing whatever file stood there, in one step.
bool MoveOver(const std::string& from, const std::string& to, std::string& error);
// Removes a file; false when it cannot.
bool RemoveFile(const std::string& path);
// Removes the files in a folder (not below it), then the folder.
void RemoveFolderOfFiles(const std::string& path);
// Makes a new folder that only this user may enter, in the system's folder
// for temporary files, named after `stem`; its path ends with a separator.
std::optional<std::string> MakePrivateFolder(const std::string& stem, std::string& error);

struct FolderEntry {
  std::string name;  // on Windows, when the name does not fit: with '?' for what does not
  FileKind kind;     // a link is kSymlink, not what it leads to
  std::string unfit;  // Windows: why the name has no form in the ANSI code page ("" when it has)
};

// What a folder holds, without "." and "..", in no particular order.
std::optional<std::vector<FolderEntry>> ListFolder(const std::string& path, std::string& error);

// Why the system cannot reach a file (or make a `folder`) at `path` through
// the 8-bit (ANSI) calls the plugin and kzr.exe make, when the path is too
// long for them: on Windows, a full path of MAX_PATH characters or more (of
// MAX_PATH - 12 for a folder). Elsewhere nothing.
std::optional<std::string> PathLimitProblem(const std::string& path, bool folder = false);

// Whether `path` names its place from a root (or, on Windows, a drive).
bool IsAbsolutePath(const std::string& path);

// `path` made absolute against the current folder, with "." and ".."
// components and repeated separators removed without looking at the disk.
std::string AbsolutePath(const std::string& path);

// The absolute path with symbolic links resolved, for an existing file or
// folder; for a missing file, its resolved folder followed by its name.
std::optional<std::string> CanonicalPath(const std::string& path);

// Whether two paths name one and the same existing file.
bool SameFile(const std::string& a, const std::string& b);

// A path as the file system tells files apart: on Windows its letters in
// upper case and one kind of separator; elsewhere the path itself.
std::string PathKey(const std::string& path);

// Whether two canonical paths name the same file.
inline bool SamePath(const std::string& a, const std::string& b) {
  return PathKey(a) == PathKey(b);
}

// `path` relative to `base` when it lies inside it or is it ("" then), both
// absolute and normalised; nothing otherwise.
std::optional<std::string> RelativeInside(const std::string& path, const std::string& base);

// The path joined with a native separator unless it already ends in one. A
// bare drive "X:" on Windows, which stands for that drive's current folder,
// is made whole first, so that the separator does not make it the root.
std::string WithTrailingSeparator(std::string path);

// The folder part of a path, with its separator ("" for a bare name; "X:"
// for "X:name" on Windows).
std::string FolderPart(const std::string& path);
// The folder a file is in, as a path that can be listed, ending with a
// separator ("./" for a bare name).
std::string FolderOf(const std::string& path);

}  // namespace kzr::cli
