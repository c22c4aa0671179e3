// The questions the host asks without opening an archive.
#include "archive/archive_reader.h"
#include "plugin/exports.h"
#include "plugin/host_text.h"

namespace {

template <typename Char>
int Recognises(const Char* file_name) noexcept {
  if (file_name == nullptr) return 0;
  try {
    const kzr::host::HostText text;
    return kzr::LooksLikeArchive(text.Path(file_name)) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // namespace

extern "C" {

int KZR_API CanYouHandleThisFile(char* file_name) { return Recognises(file_name); }

int KZR_API CanYouHandleThisFileW(WideChar* file_name) { return Recognises(file_name); }

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

int KZR_API GetBackgroundFlags() {
  return kzr::host::kUnpackInBackground | kzr::host::kPackInBackground;
}

}  // extern "C"
