#include "result_codes.h"

#include <cerrno>
#include <cstring>

#include "plugin/host_interface.h"
#include "quantities.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

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
    case host::kNotSupported:
      text = "not supported (the names' code page, a name that has no form in it, "
             "or a size past 2 GiB)";
      break;
    default: return "unknown result " + std::to_string(code);
  }
  return std::string(text) + " (" + std::to_string(code) + ")";
}

std::string DescribeListingEnd(const std::string& archive, std::size_t entries, int end_code) {
  if (end_code == host::kBadArchive) {
    return archive + ": damaged directory; only the " + Plural(entries, "entry", "entries") +
           " before the damage could be read";
  }
  return archive + ": listing stopped after " + Plural(entries, "entry", "entries") + ": " +
         DescribeResult(end_code);
}

std::string SystemReason() {
#if defined(_WIN32)
  const DWORD error = GetLastError();
  if (error == ERROR_SUCCESS) return {};
  char text[256];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, error, 0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                        text[length - 1] == ' ' || text[length - 1] == '.')) {
    --length;
  }
  if (length == 0) return "Windows error " + std::to_string(error);
  return std::string(text, length);
#else
  if (errno == 0) return {};
  return std::strerror(errno);
#endif
}

void ClearSystemReason() {
#if defined(_WIN32)
  SetLastError(ERROR_SUCCESS);
#endif
  errno = 0;
}

}  // namespace kzr::cli
