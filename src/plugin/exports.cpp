// The exported entry points: thin translations between the host's records and
// calling convention and the archive code. No exception leaves this file.
#include "plugin/exports.h"

#include "plugin/archive_handle.h"
#include "plugin/extraction.h"
#include "plugin/host_paths.h"
#include "plugin/writer.h"

using kzr::host::ArchiveHandle;

extern "C" {

ArchiveHandle KZR_API OpenArchive(kzr::host::OpenArchiveRecord* archive_data) {
  if (archive_data == nullptr) return nullptr;
  kzr::OpenResult opened = kzr::OpenArchiveFile(archive_data->ArchiveName);
  archive_data->OpenResult = opened.code;
  return opened.handle.release();
}

int KZR_API ReadHeader(ArchiveHandle handle, kzr::host::HeaderRecord* header_data) {
  kzr::ArchiveHandle* archive = kzr::FromHostHandle(handle);
  if (archive == nullptr || header_data == nullptr) return kzr::host::kEndArchive;
  const int code = kzr::ReadNextHeader(*archive, *header_data);
  // The record holds a copy of the stored name; the copy gets the host's
  // separator, the directory keeps the stored one.
  if (code == kzr::host::kOk) {
    kzr::host::StoredNameToHost(header_data->FileName, sizeof header_data->FileName);
  }
  return code;
}

int KZR_API ProcessFile(ArchiveHandle handle, int operation, char* dest_path, char* dest_name) {
  kzr::ArchiveHandle* archive = kzr::FromHostHandle(handle);
  if (archive == nullptr) {
    return operation == kzr::host::kExtract || operation == kzr::host::kTest
               ? kzr::host::kBadData
               : kzr::host::kOk;
  }
  return kzr::ProcessCurrentEntry(*archive, operation, dest_path, dest_name);
}

int KZR_API CloseArchive(ArchiveHandle handle) {
  delete kzr::FromHostHandle(handle);
  return kzr::host::kOk;
}

void KZR_API SetChangeVolProc(ArchiveHandle, kzr::host::ChangeVolProc) {
  // A KZR archive is always a single file: there is no volume to change.
}

void KZR_API SetProcessDataProc(ArchiveHandle handle,
                                kzr::host::ProcessDataProc process_data_proc) {
  // -1 stands for "no archive" and is not a handle.
  if (handle == nullptr || handle == reinterpret_cast<ArchiveHandle>(-1)) return;
  kzr::FromHostHandle(handle)->data_proc = process_data_proc;
}

int KZR_API PackFiles(char* packed_file, char* sub_path, char* src_path, char* add_list,
                      int /*flags*/) {
  return kzr::PackFileList(packed_file, sub_path, src_path, add_list);
}

}  // extern "C"
