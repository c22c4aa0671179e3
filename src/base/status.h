// The outcome of every fallible operation in the library: a code, and for a
// failure that came from the system its error code (errno, or the thread's
// last error on Windows) and the path it concerns. The faces turn it into
// words once (the tool) or into the host's result codes once (the plugin).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kzr {

class Status {
 public:
  enum Code : std::uint8_t {
    kOk,
    kNoMoreEntries,      // a listing has reported every entry (not a failure)
    kNoMemory,           // working memory could not be had
    kCorruptData,        // a member's stored bytes do not decode, or lie outside the archive
    kDamagedArchive,     // the directory breaks the format's limits
    kNotAnArchive,       // the file is not a KZR archive that may be opened
    kCannotOpen,         // a file to read cannot be opened
    kCannotCreate,       // a file to write cannot be created, or put in place
    kReadFailed,         // a read failed, came up short, or a file changed while read
    kWriteFailed,        // a write failed or came up short
    kPathTooLong,        // a path or name is longer than the limits allow
    kTooLarge,           // an archive would pass the largest length the format allows
    kUnknownCodePage,    // the code page chosen for names cannot be converted here
    kNameNotConvertible, // a name has no form in the code page of stored names
    kSameMemberName,     // two new files would be stored as one member
    kAborted,            // the caller asked to stop
    kInUse,              // another program is changing the archive
    kChangedMeanwhile,   // the archive was replaced while it was being edited
    kExists,             // a file stands where a new one was to go
    kAmbiguousName,      // a name given to delete stands for several entries
    kNameNotAllowed,     // a name the file system would take for something else
    kIsTheArchive,       // an output would go over the archive being read
  };

  constexpr Status(Code code = kOk) noexcept : code_(code) {}  // NOLINT: a code is a status

  // A failure the system reported: its error code, and the path, if any.
  static Status System(Code code, int system_error, std::string_view path = {}) noexcept {
    Status status(code);
    status.system_error_ = system_error;
    status.SetPath(path);
    return status;
  }

  constexpr Code code() const noexcept { return code_; }
  bool ok() const noexcept { return code_ == kOk; }
  // The system's error code, 0 when the failure was none of the system's.
  int system_error() const noexcept { return system_error_; }
  const std::string& path() const noexcept { return path_; }

  // The same status, about `path` (unless it already names one).
  Status& About(std::string_view path) noexcept {
    if (path_.empty()) SetPath(path);
    return *this;
  }

  friend bool operator==(const Status& status, Code code) noexcept { return status.code_ == code; }

 private:
  void SetPath(std::string_view path) noexcept {
    try {
      path_.assign(path);
    } catch (...) {  // without memory, the status goes without its path
    }
  }

  Code code_;
  int system_error_ = 0;
  std::string path_;
};

}  // namespace kzr
