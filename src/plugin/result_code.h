// The one mapping from the library's Status to the host's result codes.
#pragma once

#include "base/status.h"
#include "plugin/host_interface.h"

namespace kzr::host {

constexpr ResultCode ToResultCode(Status status) noexcept {
  switch (status) {
    case Status::kOk: return kOk;
    case Status::kNoMoreEntries: return kEndArchive;
    case Status::kNoMemory: return kNoMemory;
    case Status::kCorruptData: return kBadData;
    case Status::kDamagedArchive: return kBadArchive;
    case Status::kNotAnArchive: return kUnknownFormat;
    case Status::kCannotOpen: return kOpenError;
    case Status::kCannotCreate: return kCreateError;
    case Status::kReadFailed: return kReadError;
    case Status::kWriteFailed: return kWriteError;
    case Status::kPathTooLong: return kSmallBuffer;
    case Status::kTooLarge: return kNotSupported;
    // What the archive's names cannot hold, like what its length cannot.
    case Status::kUnknownCodePage: return kNotSupported;
    case Status::kNameNotConvertible: return kNotSupported;
    case Status::kSameMemberName: return kNotSupported;
  }
  return kBadData;
}

}  // namespace kzr::host
