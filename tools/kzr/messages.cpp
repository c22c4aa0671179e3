#include "messages.h"

#include "platform/files.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <cerrno>
#endif

namespace kzr::cli {
namespace {

bool IsNotFound(int error) {
#if defined(_WIN32)
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
#else
  return error == ENOENT;
#endif
}

bool IsFolder(int error) {
#if defined(_WIN32)
  return error == ERROR_DIRECTORY;
#else
  return error == EISDIR;
#endif
}

// ": the system's words", when it said anything.
std::string Reason(const Status& status) {
  return status.system_error() != 0 ? ": " + SystemMessage(status.system_error()) : std::string();
}

}  // namespace

std::string Describe(const Status& status) {
  switch (status.code()) {
    case Status::kOk: return "done";
    case Status::kNoMoreEntries: return "no more entries";
    case Status::kNoMemory: return "not enough memory";
    case Status::kCorruptData: return "damaged: the stored data does not decode";
    case Status::kDamagedArchive: return "damaged: the directory cannot be read whole";
    case Status::kNotAnArchive: return "not a KZR archive";
    case Status::kCannotOpen:
      if (IsNotFound(status.system_error())) return "not found";
      if (IsFolder(status.system_error())) return "is a folder, not a file";
      return "cannot open" + Reason(status);
    case Status::kCannotCreate: return "cannot create" + Reason(status);
    case Status::kReadFailed:
      return status.system_error() != 0 ? "cannot read" + Reason(status)
                                        : "changed while it was read";
    case Status::kWriteFailed: return "cannot write" + Reason(status);
    case Status::kPathTooLong: return "the name is too long";
    case Status::kTooLarge: return "an archive holds at most 2 GiB (2^31 - 1 bytes)";
    case Status::kUnknownCodePage: return "unknown code page (`iconv -l` lists them)";
    case Status::kNameNotConvertible:
      return "the name has characters that the names' code page cannot hold, or holds only as "
             "another name";
    case Status::kSameMemberName:
      return "another file would be stored under the same name, in other letter case";
    case Status::kAborted: return "interrupted";
    case Status::kInUse: return "in use by another program (try again when it is done)";
    case Status::kChangedMeanwhile:
      return "another program changed it meanwhile; its change is kept";
    case Status::kExists: return "exists and is not a file";
    case Status::kAmbiguousName: return "the name stands for several entries";
    case Status::kNameNotAllowed: return "a name the file system would take for another";
  }
  return "failed";
}

std::string Explain(const Status& status, const std::string& fallback) {
  return (status.path().empty() ? fallback : status.path()) + ": " + Describe(status);
}

}  // namespace kzr::cli
