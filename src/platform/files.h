// Files and folders as the library needs them, on paths in UTF-8 (Windows,
// where they reach the system in UTF-16, in the long form past 259
// characters) or as the system's bytes (elsewhere). This layer and the faces
// are the only code that knows the operating system: files_posix.cpp and
// files_windows.cpp hold each system's calls, files.cpp and output_file.cpp
// what is the same on both. Also paths and folders as a
// command-line tool walks them: what stands at a path, what a folder holds,
// and paths made absolute and compared as the file system compares them.
//
// New files are written under a temporary name beside their target,
// "NAME.kzr-tmp-PID-N" (NAME cut short where the whole would be too long),
// created new and exclusively, never through a link, and put in place with
// one rename when they are complete. Until then they are registered, so that
// an interrupted program can remove exactly them (RemoveTemporaryFiles).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
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

// What tells one file from another, and one state of a file from the next.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // in the system's finest unit
  bool SameFile(const FileIdentity& other) const noexcept {
    return volume == other.volume && file == other.file;
  }
  bool operator==(const FileIdentity&) const = default;
};

// A regular file opened for reading. Positional reads may come from several
// threads at once.
class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Once per InputFile. kOk; kCannotOpen (also for a folder or anything but a
  // regular file). A named pipe without a writer is not waited for. Other
  // programs may read, write, rename and delete the file meanwhile.
  Status Open(const std::string& path) noexcept;
  // The length and identity the file had when it was opened.
  std::uint64_t length() const noexcept { return identity_.size; }
  const FileIdentity& identity() const noexcept { return identity_; }
  // Its modification time in seconds since 1970 (UTC).
  std::int64_t modified_seconds() const noexcept { return modified_seconds_; }

  // Exactly `size` bytes at `offset`: kOk, or kReadFailed when they cannot
  // all be had.
  Status ReadAt(std::uint64_t offset, void* to, std::size_t size) const noexcept;

 private:
  std::intptr_t handle_ = -1;
  FileIdentity identity_;
  std::int64_t modified_seconds_ = 0;
  std::string path_;  // for messages
};

class Folder;
class ArchiveLock;

// How a complete new file takes its target's place.
struct Placing {
  bool replace = true;   // false: a file that stands at the target (even one
                         // that appeared meanwhile) is kept, and Commit says kExists
  bool durable = false;  // flushed to the disk before the rename
  // The target must still be this file (or, with `expected_absent`, none),
  // else kChangedMeanwhile and nothing is replaced.
  const FileIdentity* expected = nullptr;
  bool expected_absent = false;
  // Held on the target until the rename (which Windows needs released first).
  ArchiveLock* lock = nullptr;
};

// A new file that takes its target's place only when it is complete.
class OutputFile {
 public:
  OutputFile();
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the temporary file beside `target`. With `keep_access`, a file
  // that already stands at the target lends the new one its permissions,
  // and must be one the user may change (MayChange).
  // kOk, kCannotCreate, or kAborted once RemoveTemporaryFiles has run.
  Status Create(const std::string& target, bool keep_access) noexcept;
  // The same for the file `name` in `folder`, reached through the folder.
  Status CreateIn(const Folder& folder, std::string_view name) noexcept;

  // Appends bytes (buffered). kOk or kWriteFailed.
  Status Write(const void* bytes, std::size_t size) noexcept;
  // Writes bytes at `offset` of what was written so far.
  Status WriteAt(std::uint64_t offset, const void* bytes, std::size_t size) noexcept;
  std::uint64_t position() const noexcept { return position_; }
  // From here on, writes go to a thread of the file's own through a few
  // pieces of memory, while the caller goes on; a failure shows at a later
  // Write or at Commit. For large files only: a thread costs more than a
  // small file's write.
  void WriteInBackground() noexcept;

  // Writes out the buffer, closes the file and renames it over the target
  // as `placing` says. kOk; kWriteFailed; kCannotCreate (the rename
  // failed); kExists; kChangedMeanwhile. On failure the temporary file is
  // removed. Afterwards the object holds nothing.
  Status Commit(const Placing& placing) noexcept;
  // Closes and removes the temporary file, if one is open.
  void Discard() noexcept;

  // The target's path, for messages.
  std::string Shown() const;

 private:
  class Background;
  friend class Background;

  Status Begin(std::intptr_t handle) noexcept;
  Status Flush() noexcept;
  Status WriteThrough(const void* bytes, std::size_t size) noexcept;
  Status StopBackground() noexcept;

  std::intptr_t handle_ = -1;
  std::intptr_t folder_ = -1;  // the folder the names are relative to, if any
  std::string folder_path_;    // that folder's path, with its separator
  std::string target_;         // the path, or the name in `folder_`
  std::string temporary_;      // the same for the temporary file
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t buffered_ = 0;
  std::uint64_t position_ = 0;
  std::unique_ptr<Background> background_;
};

// A folder held open, so that what lies below it is reached from it and
// never through a name that may have changed meanwhile (a planted link).
class Folder {
 public:
  Folder() = default;
  ~Folder();
  Folder(Folder&& other) noexcept;
  Folder& operator=(Folder&& other) noexcept;

  // Opens the folder at `path`, making it and its parents when missing.
  // kOk, kCannotOpen, kCannotCreate.
  static Status Open(const std::string& path, Folder& folder) noexcept;
  // The folder `name` inside this one, made when missing.
  // Refused (kCannotCreate) when it is a link or not a folder.
  Status Child(std::string_view name, Folder& child) const noexcept;

  // What stands at `name`, not following a link.
  Status KindOf(std::string_view name, FileKind& kind) const noexcept;
  // The identity of the file at `name` (following a link).
  Status IdentityOf(std::string_view name, FileIdentity& identity) const noexcept;

  // The folder's path as it was given, ending with a separator.
  const std::string& path() const noexcept { return path_; }
  std::intptr_t handle() const noexcept { return handle_; }

 private:
  std::intptr_t handle_ = -1;
  std::string path_;
};

// The exclusive right to change an archive, between writers that ask for
// it: held on the file from Acquire until the object goes (or, on Windows,
// until the rename that replaces it).
class ArchiveLock {
 public:
  ArchiveLock() = default;
  ~ArchiveLock();
  ArchiveLock(const ArchiveLock&) = delete;
  ArchiveLock& operator=(const ArchiveLock&) = delete;

  // Waits up to `wait` for the lock on the file at `path`, and makes sure
  // that the path still names the locked file (a writer before may have put
  // a new one in its place). Nothing at `path`: kOk with nothing held.
  // kInUse when the wait ran out.
  Status Acquire(const std::string& path, std::chrono::milliseconds wait) noexcept;
  void Release() noexcept;

 private:
  std::intptr_t handle_ = -1;
};

// How long a writer waits for another one before it gives up.
inline constexpr std::chrono::milliseconds kLockWait{5000};

// --- queries and small operations ---------------------------------------------

// Whether anything (a file, a folder, a link) stands at `path`.
bool PathExists(const std::string& path) noexcept;
// The identity of the file at `path` (following links).
Status IdentityOf(const std::string& path, FileIdentity& identity) noexcept;
// Whether the user may change the file at `path` (true when none is there).
// A read-only file is not replaced by a new one, though on POSIX systems the
// rename would need only its folder's permission.
Status MayChange(const std::string& path) noexcept;
// The file that a symbolic link at `path` leads to, when it leads to one;
// else `path`.
std::string FileBehindLinks(const std::string& path);
bool RemoveFile(const std::string& path) noexcept;
bool RemoveEmptyFolder(const std::string& path) noexcept;
// A time in seconds since 1970 as the packed date and time of the local
// time zone (bits 25-31 the year - 1980, 21-24 the month, 16-20 the day,
// 11-15 the hour, 5-10 the minute, 0-4 the seconds / 2); 1980-01-01 for
// anything earlier.
#if defined(_WIN32)
std::uint32_t PackedLocalTime(std::int64_t seconds) noexcept;
#endif

// Why the system would not take `component` as a file's name for what it
// says (nothing when it would): on Windows a device name, a reserved
// character, a trailing dot or space, or more than 255 characters.
std::optional<std::string> SystemRefusesName(std::string_view component);

// "NAME.kzr-tmp-PID-TAG" in the folder of `target` (named NAME there), with
// NAME cut short where the whole would pass the system's limits.
std::string TemporaryPathFor(const std::string& target, std::string_view tag);

// Removes every temporary file that is being written, and makes every later
// OutputFile::Create fail with kAborted; waits up to half a second for
// writes under way to end, and removes what they left. For a program that
// is being interrupted.
void RemoveTemporaryFiles() noexcept;

// The system's words for one of its error codes.
std::string SystemMessage(int system_error);

// What kind of failure one of the system's error codes stands for, where a
// caller says something of its own.
enum class SystemError { kNotFound, kIsAFolder, kNotAFolder, kIsALink, kOther };
SystemError Classify(int system_error) noexcept;

}  // namespace kzr
