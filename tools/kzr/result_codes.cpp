#include "result_codes.h"

#include "plugin/host_interface.h"

namespace kzr::cli {

std::string DescribeResult(int code) {
  const char* text = nullptr;
  switch (code) {
    case host::kOk: text = "done"; break;
    case host::kEndArchive: text = "no more entries"; break;
    case host::kNoMemory: text = "not enough memory"; break;
    case host::kBadData: text = "corrupt data"; break;
    case host::kBadArchive: text = "damaged archive"; break;
    case host::kUnknownFormat: text = "not a KZR archive"; break;
    case host::kOpenError: text = "cannot open"; break;
    case host::kCreateError: text = "cannot create"; break;
    case host::kCloseError: text = "cannot close"; break;
    case host::kReadError: text = "read error"; break;
    case host::kWriteError: text = "write error"; break;
    case host::kSmallBuffer: text = "path too long"; break;
    case host::kAborted: text = "aborted"; break;
    case host::kNoFiles: text = "no files"; break;
    case host::kTooManyFiles: text = "too many files"; break;
    case host::kNotSupported: text = "archive would exceed 2 GiB"; break;
    default: return "unknown result " + std::to_string(code);
  }
  return std::string(text) + " (" + std::to_string(code) + ")";
}

}  // namespace kzr::cli
