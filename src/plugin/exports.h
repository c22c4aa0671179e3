// The plugin's exported entry points, by the plain names the host looks up:
// the ANSI ones, their wide twins, which a host calls instead when they are
// there, and the handle-free questions. (ConfigurePacker shows the About
// box: src/ui/about_box.h, Windows only.)
#pragma once

#include "plugin/host_interface.h"

extern "C" {

using kzr::host::Handle;
using kzr::host::WideChar;

KZR_EXPORT Handle KZR_API OpenArchive(kzr::host::OpenArchiveRecord* archive_data);
KZR_EXPORT Handle KZR_API OpenArchiveW(kzr::host::OpenArchiveRecordW* archive_data);
KZR_EXPORT int KZR_API ReadHeader(Handle handle, kzr::host::HeaderRecord* header_data);
KZR_EXPORT int KZR_API ReadHeaderEx(Handle handle, kzr::host::HeaderRecordExA* header_data);
KZR_EXPORT int KZR_API ReadHeaderExW(Handle handle, kzr::host::HeaderRecordExW* header_data);
KZR_EXPORT int KZR_API ProcessFile(Handle handle, int operation, char* dest_path, char* dest_name);
KZR_EXPORT int KZR_API ProcessFileW(Handle handle, int operation, WideChar* dest_path,
                                    WideChar* dest_name);
KZR_EXPORT int KZR_API CloseArchive(Handle handle);
KZR_EXPORT void KZR_API SetChangeVolProc(Handle handle, kzr::host::ChangeVolProc change_vol_proc);
KZR_EXPORT void KZR_API SetChangeVolProcW(Handle handle,
                                          kzr::host::ChangeVolProcW change_vol_proc);
KZR_EXPORT void KZR_API SetProcessDataProc(Handle handle,
                                           kzr::host::ProcessDataProc process_data_proc);
KZR_EXPORT void KZR_API SetProcessDataProcW(Handle handle,
                                            kzr::host::ProcessDataProcW process_data_proc);
KZR_EXPORT int KZR_API PackFiles(char* packed_file, char* sub_path, char* src_path,
                                 char* add_list, int flags);
KZR_EXPORT int KZR_API PackFilesW(WideChar* packed_file, WideChar* sub_path, WideChar* src_path,
                                  WideChar* add_list, int flags);
KZR_EXPORT int KZR_API DeleteFiles(char* packed_file, char* delete_list);
KZR_EXPORT int KZR_API DeleteFilesW(WideChar* packed_file, WideChar* delete_list);
KZR_EXPORT int KZR_API GetPackerCaps();
KZR_EXPORT int KZR_API GetBackgroundFlags();
KZR_EXPORT int KZR_API CanYouHandleThisFile(char* file_name);
KZR_EXPORT int KZR_API CanYouHandleThisFileW(WideChar* file_name);
KZR_EXPORT void KZR_API PackSetDefaultParams(kzr::host::PackDefaultParams* params);

}  // extern "C"
