// The one mapping from the library's Status to the host's result codes.
#pragma once

#include "base/status.h"
#include "plugin/host_interface.h"

namespace kzr::host {

inline ResultCode ToResultCode(const Status& status) noexcept {
  switch (status.code()) {
    case Status::kOk: return kOk;
    case Status::kNoMoreEntries: return kEndArchive;
    case Status::kNoMemory: return kNoMemory;
    case Status::kCorruptData: return kBadData;
    case Status::kDamagedArchive: return kBadArchive;
    case Status::kNotAnArchive: return kUnknownFormat;
    case Status::kCannotOpen: return kOpenError;
    case Status::kCannotCreate: return kCreateError;
    case Status::kExists: return kCreateError;
    case Status::kNameNotAllowed: return kCreateError;
    case Status::kIsTheArchive: return kCreateError;
    case Status::kReadFailed: return kReadError;
    case Status::kWriteFailed: return kWriteError;
    case Status::kPathTooLong: return kSmallBuffer;
    // A name given to delete that the listing cut, and that stands for
    // several entries: as for a name too long to tell them apart.
    case Status::kAmbiguousName: return kSmallBuffer;
    case Status::kAborted: return kAborted;
    // Another program is changing the archive, or changed it meanwhile: it
    // cannot be written now.
    case Status::kInUse: return kCreateError;
    case Status::kChangedMeanwhile: return kCreateError;
    // What the archive's names cannot hold, like what its length cannot.
    case Status::kTooLarge: return kNotSupported;
    case Status::kUnknownCodePage: return kNotSupported;
    case Status::kNameNotConvertible: return kNotSupported;
    case Status::kSameMemberName: return kNotSupported;
  }
  return kBadData;
}

}  // namespace kzr::host
