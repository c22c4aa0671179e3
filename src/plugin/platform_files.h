// The file system as the plugin needs it, on 8-bit paths exactly as the host
// passes them: whole files read once, and new files written under a
// temporary name and put in place with one rename. This and the exports are
// the only parts of the library that know the operating system.
//
// Temporary files are named after their target, in the target's folder:
// "NAME.kzr-tmp-PID-N" (NAME cut short when the result would be too long).
// They are created new and exclusively, never through a link, and removed
// again on every path that does not put them in place. A process that is
// killed outright may leave one; the name says what it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "base/status.h"

namespace kzr {

// A file opened for reading from start to end.
class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // kOk; kCannotOpen (also for a folder or anything but a regular file).
  Status Open(const char* path) noexcept;
  // The file's length when it was opened.
  std::uint64_t length() const noexcept { return length_; }
  // Reads up to `size` bytes; `got` is 0 at the end. kOk or kReadFailed.
  Status Read(std::uint8_t* to, std::size_t size, std::size_t& got) noexcept;

 private:
  std::intptr_t handle_ = -1;
  std::uint64_t length_ = 0;
};

// A new file that replaces `target` only when it is complete.
class OutputFile {
 public:
  OutputFile();
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the temporary file beside `target`. With `keep_access`, a file
  // that already stands at the target lends the new one its permissions,
  // and must be one the user may change (MayChange).
  // kOk or kCannotCreate; nothing at `target` is touched.
  Status Create(const std::string& target, bool keep_access);
  // Appends bytes (buffered). kOk or kWriteFailed.
  Status Write(const void* bytes, std::size_t size) noexcept;
  // Writes bytes at `offset` of what was written so far.
  Status WriteAt(std::uint64_t offset, const void* bytes, std::size_t size) noexcept;
  std::uint64_t position() const noexcept { return position_; }
  // Writes out the buffer, flushes the file to the disk when `durable`,
  // closes it and renames it over the target. kOk, kWriteFailed (the
  // temporary file is removed) or kCannotCreate (the rename failed; removed
  // too). Afterwards the object holds nothing.
  Status Commit(bool durable) noexcept;
  // Closes and removes the temporary file, if one is open. Keeps the
  // system's error code of the failure that led here.
  void Discard() noexcept;

  const std::string& temporary_path() const noexcept { return temporary_; }

  // From here on, Write copies the bytes into a few pieces of memory of its
  // own and a thread of the file's own writes them out while the caller goes
  // on (to decode the next bytes, say); a failure shows at a later Write or
  // at Commit. Without a thread or the memory, writing stays in the caller.
  // For large members only: a thread costs more than a small file's write.
  void WriteInBackground() noexcept;

 private:
  class Background;

  Status Flush() noexcept;
  Status WriteThrough(const void* bytes, std::size_t size) noexcept;
  // Waits for the background's writes and ends its thread; what it failed
  // with, the system's error code restored in this thread.
  Status StopBackground() noexcept;

  std::intptr_t handle_ = -1;
  std::string target_;
  std::string temporary_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t buffered_ = 0;
  std::uint64_t position_ = 0;
  std::unique_ptr<Background> background_;
};

// Whether anything (a file, a folder, a link) stands at `path`.
bool PathExists(const char* path) noexcept;
// Whether `path` names the file open in `file` (the same file, not only an
// equal path).
bool IsSameFile(std::FILE* file, const char* path) noexcept;
// The modification time of the file open in `file`, as the host reads a
// header record's time: on Windows the packed date and time in local time
// (1980-01-01 for anything earlier or unknown); a host on Linux reads it as
// seconds since 1970 (UTC).
std::uint32_t HostModificationTime(std::FILE* file) noexcept;
// Removes a file, or an empty folder; false when it cannot.
bool RemoveFile(const char* path) noexcept;
bool RemoveEmptyFolder(const char* path) noexcept;
// Whether the user may change the file at `path` (true when none is there).
// A read-only file is not replaced by a new one, though on POSIX systems the
// rename would need only its folder's permission; the system's error code
// tells why.
bool MayChange(const char* path) noexcept;
// The file that a symbolic link at `path` leads to, when it leads to one
// (not on Windows); else `path`.
std::string FileBehindLinks(const char* path);
// The part of a temporary file's name that marks it as this process's:
// ".kzr-tmp-PID-".
std::string TemporaryMark();
// "NAME.kzr-tmp-PID-TAG" in the folder of `target` (named NAME there), with
// NAME cut short where the whole would pass the system's limits on a name or
// a path.
std::string TemporaryPathFor(const std::string& target, const std::string& tag);

}  // namespace kzr
