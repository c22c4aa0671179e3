#include "messages.h"

#include "platform/files.h"

namespace kzr::cli {
namespace {

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
      switch (Classify(status.system_error())) {
        case SystemError::kNotFound: return "not found";
        case SystemError::kIsAFolder: return "is a folder, not a file";
        default: return "cannot open" + Reason(status);
      }
    case Status::kCannotCreate:
      switch (Classify(status.system_error())) {
        case SystemError::kIsALink: return "is a symbolic link, which is never followed";
        case SystemError::kNotAFolder: return "exists and is not a folder";
        default: return "cannot create" + Reason(status);
      }
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
    case Status::kIsTheArchive: return "is the archive being read";
  }
  return "failed";
}

std::string Explain(const Status& status, const std::string& fallback) {
  return (status.path().empty() ? fallback : status.path()) + ": " + Describe(status);
}

}  // namespace kzr::cli
