// The exported entry points: thin translations between the host's records,
// text and calling convention and the library. Status becomes a result code
// here and nowhere else. Inside, memory comes either from nothrow
// allocations (large buffers, which fail with kNoMemory) or from the
// standard containers (names, lists), which throw; this is the one place
// that catches that, so no exception leaves the library: it answers "not
// enough memory".
//
// Every piece of state lives in a handle or is shared under a lock (the INI
// file's name, the packing callbacks), so a host may call from several
// threads at once on different handles (GetBackgroundFlags).
#include "plugin/exports.h"

#include <cstring>
#include <new>
#include <string>

#include "archive/names_setting.h"
#include "plugin/archive_handle.h"
#include "plugin/host_editing.h"
#include "plugin/result_code.h"

using kzr::ArchiveHandle;
using kzr::FromHostHandle;
using kzr::host::Face;
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

// -1 stands for "no archive" (for packing), and is not a handle.
bool IsNoArchive(Handle handle) noexcept { return handle == reinterpret_cast<Handle>(-1); }

template <typename Proc>
void SetProc(Handle handle, Proc proc) noexcept {
  if (handle == nullptr) return;
  auto& callbacks =
      IsNoArchive(handle) ? kzr::host::PackingCallbacks() : FromHostHandle(handle)->callbacks;
  callbacks.Set(proc);
}

template <typename Record>
Handle Open(Record* archive_data, Face face) noexcept {
  if (archive_data == nullptr) return nullptr;
  std::unique_ptr<ArchiveHandle> handle;
  archive_data->OpenResult = Guarded([&] {
    kzr::host::HostText text;
    return ToResultCode(kzr::OpenArchiveHandle(text.Path(archive_data->ArchiveName), face, handle));
  });
  return archive_data->OpenResult == kzr::host::kOk ? handle.release() : nullptr;
}

template <typename Record>
int Read(Handle handle, Record* header_data, std::size_t name_size) noexcept {
  ArchiveHandle* archive = FromHostHandle(handle);
  if (archive == nullptr || header_data == nullptr) return kzr::host::kEndArchive;
  return Guarded([&] {
    const kzr::Status status = kzr::NextEntry(*archive);
    if (status.ok()) kzr::FillHeader(*archive, *header_data, name_size);
    return ToResultCode(status);
  });
}

template <typename Char>
int Process(Handle handle, int operation, const Char* dest_path, const Char* dest_name,
            std::size_t longest_path) noexcept {
  ArchiveHandle* archive = FromHostHandle(handle);
  if (archive == nullptr) {
    return operation == kzr::host::kExtract || operation == kzr::host::kTest
               ? kzr::host::kBadData
               : kzr::host::kOk;
  }
  return Guarded([&]() -> int {
    // The destination is the path followed directly by the name.
    std::basic_string<Char> joined;
    if (dest_path != nullptr) joined = dest_path;
    if (dest_name != nullptr) joined += dest_name;
    if (operation == kzr::host::kExtract && joined.size() > longest_path) {
      return kzr::host::kSmallBuffer;
    }
    return ToResultCode(
        kzr::ProcessCurrentEntry(*archive, operation, archive->text.Path(joined.c_str())));
  });
}

}  // namespace

extern "C" {

Handle KZR_API OpenArchive(kzr::host::OpenArchiveRecord* archive_data) {
  return Open(archive_data, Face::kAnsi);
}

Handle KZR_API OpenArchiveW(kzr::host::OpenArchiveRecordW* archive_data) {
  return Open(archive_data, Face::kWide);
}

int KZR_API ReadHeader(Handle handle, kzr::host::HeaderRecord* header_data) {
  return Read(handle, header_data, kzr::host::kHeaderNameSize);
}

int KZR_API ReadHeaderEx(Handle handle, kzr::host::HeaderRecordExA* header_data) {
  if (header_data != nullptr) header_data->PackSizeHigh = header_data->UnpSizeHigh = 0;
  return Read(handle, header_data, kzr::host::kHeaderExNameSize);
}

int KZR_API ReadHeaderExW(Handle handle, kzr::host::HeaderRecordExW* header_data) {
  if (header_data != nullptr) header_data->PackSizeHigh = header_data->UnpSizeHigh = 0;
  return Read(handle, header_data, kzr::host::kHeaderExNameSize);
}

int KZR_API ProcessFile(Handle handle, int operation, char* dest_path, char* dest_name) {
  // The host's ANSI paths hold at most 511 characters.
  return Process(handle, operation, dest_path, dest_name, 511);
}

int KZR_API ProcessFileW(Handle handle, int operation, WideChar* dest_path, WideChar* dest_name) {
  return Process(handle, operation, dest_path, dest_name, 32000);
}

int KZR_API CloseArchive(Handle handle) {
  delete FromHostHandle(handle);
  return kzr::host::kOk;
}

void KZR_API SetChangeVolProc(Handle, kzr::host::ChangeVolProc) {
  // A KZR archive is always a single file: there is no volume to change.
}

void KZR_API SetChangeVolProcW(Handle, kzr::host::ChangeVolProcW) {}

void KZR_API SetProcessDataProc(Handle handle, kzr::host::ProcessDataProc process_data_proc) {
  SetProc(handle, process_data_proc);
}

void KZR_API SetProcessDataProcW(Handle handle, kzr::host::ProcessDataProcW process_data_proc) {
  SetProc(handle, process_data_proc);
}

int KZR_API PackFiles(char* packed_file, char* sub_path, char* src_path, char* add_list,
                      int flags) {
  return Guarded([&] {
    return ToResultCode(kzr::host::PackHostList(Face::kAnsi, packed_file, sub_path, src_path,
                                                add_list, (flags & kzr::host::kMoveFiles) != 0));
  });
}

int KZR_API PackFilesW(WideChar* packed_file, WideChar* sub_path, WideChar* src_path,
                       WideChar* add_list, int flags) {
  return Guarded([&] {
    return ToResultCode(kzr::host::PackHostList(Face::kWide, packed_file, sub_path, src_path,
                                                add_list, (flags & kzr::host::kMoveFiles) != 0));
  });
}

int KZR_API DeleteFiles(char* packed_file, char* delete_list) {
  return Guarded([&] {
    return ToResultCode(kzr::host::DeleteHostList(Face::kAnsi, packed_file, delete_list));
  });
}

int KZR_API DeleteFilesW(WideChar* packed_file, WideChar* delete_list) {
  return Guarded([&] {
    return ToResultCode(kzr::host::DeleteHostList(Face::kWide, packed_file, delete_list));
  });
}

void KZR_API PackSetDefaultParams(kzr::host::PackDefaultParams* params) {
  // The INI file's key is read whenever names are converted, so that a
  // change to it applies without loading the plugin again.
  if (params != nullptr && params->size < static_cast<std::int32_t>(sizeof *params)) return;
  const char* ini_file = params != nullptr ? params->DefaultIniName : "";
  try {
    const kzr::host::HostText text;
    kzr::RememberIniFile(text.Path(std::string(
        ini_file, strnlen(ini_file, sizeof kzr::host::PackDefaultParams::DefaultIniName)).c_str()));
  } catch (const std::bad_alloc&) {
    // The INI file's setting is then not seen; KZR_NAMES and the default are.
  }
}

}  // extern "C"
