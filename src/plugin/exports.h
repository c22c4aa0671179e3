// The plugin's exported entry points, by the plain names the host looks up.
// (ConfigurePacker shows the About box: src/ui/about_box.h, Windows only.)
#pragma once

#include "plugin/host_interface.h"

extern "C" {

KZR_EXPORT kzr::host::Handle KZR_API
OpenArchive(kzr::host::OpenArchiveRecord* archive_data);
KZR_EXPORT int KZR_API ReadHeader(kzr::host::Handle handle,
                                  kzr::host::HeaderRecord* header_data);
KZR_EXPORT int KZR_API ProcessFile(kzr::host::Handle handle, int operation,
                                   char* dest_path, char* dest_name);
KZR_EXPORT int KZR_API CloseArchive(kzr::host::Handle handle);
KZR_EXPORT void KZR_API SetChangeVolProc(kzr::host::Handle handle,
                                         kzr::host::ChangeVolProc change_vol_proc);
KZR_EXPORT void KZR_API SetProcessDataProc(kzr::host::Handle handle,
                                           kzr::host::ProcessDataProc process_data_proc);
KZR_EXPORT int KZR_API PackFiles(char* packed_file, char* sub_path, char* src_path,
                                 char* add_list, int flags);
KZR_EXPORT int KZR_API DeleteFiles(char* packed_file, char* delete_list);
KZR_EXPORT int KZR_API GetPackerCaps();
KZR_EXPORT int KZR_API CanYouHandleThisFile(char* file_name);
KZR_EXPORT void KZR_API PackSetDefaultParams(kzr::host::PackDefaultParams* params);

}  // extern "C"
