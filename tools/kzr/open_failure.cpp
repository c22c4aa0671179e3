#include "open_failure.h"

#include <cstring>

#include "archive/archive_header.h"
#include "archive/file_stream.h"
#include "native_fs.h"
#include "plugin/host_interface.h"
#include "quantities.h"
#include "result_codes.h"

namespace kzr::cli {
namespace {

// What the core's acceptance rule finds wrong with the file's header; empty
// when it cannot tell.
std::string HeaderProblem(const std::string& archive) {
  const FilePtr file = OpenForReading(archive.c_str());
  if (!file) return {};
  ArchiveHeader header{};
  const std::size_t got = std::fread(header.bytes, 1, sizeof header.bytes, file.get());
  const std::optional<std::uint64_t> length = SeekToEnd(file.get());
  if (!length) return {};
  const bool signed_as_archive = HasArchiveSignature(header.bytes, got);
  switch (CheckHeader(header, got, *length)) {
    case HeaderCheck::kAccepted:
      return {};  // it changed since the plugin looked
    case HeaderCheck::kShortHeader:
      if (!signed_as_archive) return "no KZR signature at its start";
      return "truncated: " + Plural(*length, "byte", "bytes") + ", less than the " +
             std::to_string(format::kHeaderSize) + "-byte header";
    case HeaderCheck::kBadMagic:
      return "no KZR signature at its start";
    case HeaderCheck::kBadVersionTag:
      if (!signed_as_archive) return "no KZR signature at its start";
      return "unknown flavour " + std::to_string(header.FlavourByte()) +
             " (0 is plain, 1 is masked)";
    case HeaderCheck::kLengthMismatch:
      if (header.ArchiveLength() > *length) {
        return "truncated: the header records " + Plural(header.ArchiveLength(), "byte", "bytes") +
               ", the file has " + std::to_string(*length);
      }
      return "the file has " + Plural(*length, "byte", "bytes") + ", more than the " +
             std::to_string(header.ArchiveLength()) + " its header records";
    case HeaderCheck::kTooLong:
      return "longer than an archive may be (2^31 - 1 bytes)";
    case HeaderCheck::kDirectoryMismatch:
      return "the directory the header records (offset " +
             std::to_string(header.DirectoryOffset()) + ", length " +
             std::to_string(header.DirectoryLength()) + ") does not end where the file does, at " +
             std::to_string(*length);
  }
  return {};
}

}  // namespace

std::string DescribeOpenFailure(const std::string& archive, const OpenFailure& failure,
                                bool read_header) {
  std::string detail;
  switch (KindOfTarget(archive)) {
    case FileKind::kFolder:
      detail = "Is a directory";
      break;
    case FileKind::kFile:
      if (FileSize(archive).value_or(1) == 0) {
        detail = "the file is empty";
      } else if (failure.code == host::kUnknownFormat && read_header) {
        detail = HeaderProblem(archive);
        if (!detail.empty()) detail += " (found by kzr's own reading of the header)";
      }
      break;
    default:
      break;
  }
  if (detail.empty() && failure.code == host::kOpenError) detail = failure.reason;
  std::string text = archive + ": " + DescribeResult(failure.code);
  if (!detail.empty()) text += ": " + detail;
  return text;
}

}  // namespace kzr::cli
