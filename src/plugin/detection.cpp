// The questions the host asks without opening an archive.
#include "archive/archive_header.h"
#include "archive/file_stream.h"
#include "plugin/exports.h"

extern "C" {

int KZR_API CanYouHandleThisFile(char* file_name) {
  if (file_name == nullptr) return 0;
  kzr::FilePtr file = kzr::OpenFile(file_name, "rb");
  if (!file) return 0;
  std::uint8_t first[kzr::format::kSignatureSize];
  const std::size_t got = std::fread(first, 1, sizeof first, file.get());
  file.reset();
  return kzr::HasArchiveSignature(first, got) ? 1 : 0;
}

int KZR_API GetPackerCaps() {
  return kzr::host::kCanCreateArchives | kzr::host::kHasOptionsDialog |
         kzr::host::kRecognisesByContent | kzr::host::kMembersSearchable;
}

}  // extern "C"
