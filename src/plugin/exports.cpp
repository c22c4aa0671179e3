// The exported entry points: thin translations between the host's records
// and calling convention and the library. Status becomes a result code here
// and nowhere else. Inside, memory comes either from nothrow allocations
// (large buffers, which fail with kNoMemory) or from the standard
// containers (names, lists), which throw; this is the one place that catches
// that, so no exception leaves the library: it answers "not enough memory".
#include "plugin/exports.h"

#include <cstring>
#include <new>

#include "plugin/archive_editing.h"
#include "plugin/archive_handle.h"
#include "plugin/extraction.h"
#include "plugin/names_setting.h"
#include "plugin/result_code.h"

using kzr::host::Handle;
using kzr::host::ToResultCode;

namespace {

// Runs `work`, answering kNoMemory for an allocation that failed with an
// exception (the standard containers' way).
template <typename Work>
int Guarded(Work work) noexcept {
  try {
    return work();
  } catch (const std::bad_alloc&) {
    return kzr::host::kNoMemory;
  }
}

}  // namespace

extern "C" {

Handle KZR_API OpenArchive(kzr::host::OpenArchiveRecord* archive_data) {
  if (archive_data == nullptr) return nullptr;
  std::unique_ptr<kzr::ArchiveHandle> handle;
  archive_data->OpenResult = Guarded(
      [&] { return ToResultCode(kzr::OpenArchiveHandle(archive_data->ArchiveName, handle)); });
  return archive_data->OpenResult == kzr::host::kOk ? handle.release() : nullptr;
}

int KZR_API ReadHeader(Handle handle, kzr::host::HeaderRecord* header_data) {
  kzr::ArchiveHandle* archive = kzr::FromHostHandle(handle);
  if (archive == nullptr || header_data == nullptr) return kzr::host::kEndArchive;
  return Guarded([&] { return ToResultCode(kzr::ReadNextHeader(*archive, *header_data)); });
}

int KZR_API ProcessFile(Handle handle, int operation, char* dest_path, char* dest_name) {
  kzr::ArchiveHandle* archive = kzr::FromHostHandle(handle);
  if (archive == nullptr) {
    return operation == kzr::host::kExtract || operation == kzr::host::kTest
               ? kzr::host::kBadData
               : kzr::host::kOk;
  }
  return Guarded([&] {
    return ToResultCode(kzr::ProcessCurrentEntry(*archive, operation, dest_path, dest_name));
  });
}

int KZR_API CloseArchive(Handle handle) {
  delete kzr::FromHostHandle(handle);
  return kzr::host::kOk;
}

void KZR_API SetChangeVolProc(Handle, kzr::host::ChangeVolProc) {
  // A KZR archive is always a single file: there is no volume to change.
}

void KZR_API SetProcessDataProc(Handle handle,
                                kzr::host::ProcessDataProc process_data_proc) {
  // -1 stands for "no archive" and is not a handle.
  if (handle == nullptr || handle == reinterpret_cast<Handle>(-1)) return;
  kzr::FromHostHandle(handle)->data_proc = process_data_proc;
}

int KZR_API PackFiles(char* packed_file, char* sub_path, char* src_path, char* add_list,
                      int flags) {
  return Guarded([&] {
    return ToResultCode(kzr::PackFileList(packed_file, sub_path, src_path, add_list,
                                          (flags & kzr::host::kMoveFiles) != 0));
  });
}

int KZR_API DeleteFiles(char* packed_file, char* delete_list) {
  return Guarded(
      [&] { return ToResultCode(kzr::DeleteMembers(packed_file, delete_list)); });
}

void KZR_API PackSetDefaultParams(kzr::host::PackDefaultParams* params) {
#if defined(_WIN32)
  // Names pass through as the host's ANSI text: there is nothing to set.
  (void)params;
#else
  // The INI file's key is read whenever names are converted, so that a
  // change to it applies without loading the plugin again.
  if (params != nullptr && params->size < static_cast<std::int32_t>(sizeof *params)) return;
  const char* ini_file = params != nullptr ? params->DefaultIniName : "";
  try {
    kzr::host::RememberIniFile(
        {ini_file, strnlen(ini_file, sizeof kzr::host::PackDefaultParams::DefaultIniName)});
  } catch (const std::bad_alloc&) {
    // The INI file's setting is then not seen; KZR_NAMES and the default are.
  }
#endif
}

}  // extern "C"
