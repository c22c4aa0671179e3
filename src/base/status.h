// The outcome of every fallible operation in the core and the plugin: one
// enum, returned by value. The exports turn it into the host's result codes
// in one place (src/plugin/result_code.h); nothing else maps it.
//
// A failure that came from the system (a read, a write, an open) leaves the
// system's own error code in place when it is reported (errno, or
// GetLastError on Windows), so that a caller can name the reason.
#pragma once

#include <cstdint>

namespace kzr {

enum class Status : std::uint8_t {
  kOk,
  kNoMoreEntries,   // a listing has reported every entry (not a failure)
  kNoMemory,        // working memory could not be had
  kCorruptData,     // a member's stored bytes do not decode, or lie outside the archive
  kDamagedArchive,  // the directory breaks the format's limits
  kNotAnArchive,    // the file is not a KZR archive that may be opened
  kCannotOpen,      // a file to read cannot be opened
  kCannotCreate,    // a file to write cannot be created, or put in place
  kReadFailed,      // a read failed, came up short, or a file changed while read
  kWriteFailed,     // a write failed or came up short
  kPathTooLong,     // a path or name is longer than the limits allow
  kTooLarge,        // an archive would pass the largest length the format allows
  kUnknownCodePage,     // the code page chosen for names cannot be converted here
  kNameNotConvertible,  // a name has no form in the code page of stored names
  kSameMemberName,      // two new files would be stored as one member
};

}  // namespace kzr
