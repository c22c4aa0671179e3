// The questions the host asks without opening an archive.
#include "archive/archive_header.h"
#include "archive/file_stream.h"
#include "plugin/exports.h"

extern "C" {

int KZR_API CanYouHandleThisFile(char* file_name) {
  if (file_name == nullptr) return 0;
  kzr::FilePtr file = kzr::OpenForReading(file_name);
  if (!file) return 0;
  std::uint8_t first[kzr::format::kSignatureSize];
  const std::size_t got = std::fread(first, 1, sizeof first, file.get());
  file.reset();
  return kzr::HasArchiveSignature(first, got) ? 1 : 0;
}

int KZR_API GetPackerCaps() {
  // Only the Windows DLL has the About box behind ConfigurePacker; elsewhere
  // there is no such export, and the options bit stays clear.
#if defined(_WIN32)
  constexpr int kOptions = kzr::host::kHasOptionsDialog;
#else
  constexpr int kOptions = 0;
#endif
  return kzr::host::kCanCreateArchives | kzr::host::kCanModifyArchives |
         kzr::host::kHoldsManyFiles | kzr::host::kCanDeleteMembers | kOptions |
         kzr::host::kRecognisesByContent | kzr::host::kMembersSearchable;
}

}  // extern "C"
