// A stand-in packer plugin for debugging a host: it logs every call the host
// makes, with its arguments, and forwards the call to the real plugin, which
// it loads with dlopen. It also exports DeleteFiles and PackSetDefaultParams,
// so the log shows whether and how the host asks for them; when the real
// plugin lacks one, the call answers "not supported" (24) or does nothing.
//
// Environment:
//   CALL_LOGGER_PLUGIN   path of the real plugin (required)
//   CALL_LOGGER_LOG      the log file, appended to (default /tmp/call_logger.log)
//   CALL_LOGGER_HEADERS  optional file of "PATTERN ATTR TIME" lines: after a
//                        ReadHeader whose name matches PATTERN (fnmatch), the
//                        record's FileAttr and FileTime become ATTR and TIME
//                        (C notation, 0x.. or 0..; "-" keeps the field). The
//                        first matching line wins. Shows how the host displays
//                        a value without changing the plugin.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fnmatch.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

// The host's records, whole (the plugin itself declares only what it uses).
typedef struct {
  char ArcName[260];
  char FileName[260];
  int Flags, PackSize, UnpSize, HostOS, FileCRC, FileTime, UnpVer, Method, FileAttr;
  char* CmtBuf;
  int CmtBufSize, CmtSize, CmtState;
} HeaderData;

typedef struct {
  char* ArcName;
  int OpenMode, OpenResult;
  char* CmtBuf;
  int CmtBufSize, CmtSize, CmtState;
} OpenArchiveData;

typedef struct {
  int size;
  unsigned VersionLow, VersionHi;
  char DefaultIniName[260];
} PackDefaultParams;

enum { kNotSupported = 24, kEndArchive = 10 };

static void Log(const char* format, ...) {
  const char* path = getenv("CALL_LOGGER_LOG");
  FILE* log = fopen(path != NULL ? path : "/tmp/call_logger.log", "a");
  if (log == NULL) return;
  va_list args;
  va_start(args, format);
  vfprintf(log, format, args);
  va_end(args);
  fputc('\n', log);
  fclose(log);
}

static void* Real(const char* name) {
  static void* module;
  if (module == NULL) {
    const char* path = getenv("CALL_LOGGER_PLUGIN");
    module = path != NULL ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : NULL;
    if (module == NULL) {
      Log("!! cannot load CALL_LOGGER_PLUGIN=%s: %s", path != NULL ? path : "(unset)",
          path != NULL ? dlerror() : "");
      return NULL;
    }
  }
  return dlsym(module, name);
}

// The real plugin's function of the same name and type as the one being defined.
#define FORWARD(name) __typeof__(&name) real = (__typeof__(&name))Real(#name)

static const char* OrNull(const char* s) { return s != NULL ? s : "(null)"; }

// A run of NUL-terminated names closed by an empty one, as one line.
static void LogNameList(const char* what, const char* list) {
  char line[16384];
  size_t used = 0;
  line[0] = '\0';
  for (const char* p = list; p != NULL && *p != '\0' && used + 300 < sizeof line; p += strlen(p) + 1) {
    used += (size_t)snprintf(line + used, sizeof line - used, "%s\"%s\"", used > 0 ? ", " : "", p);
  }
  Log("    %s = [%s]", what, line);
}

static void OverrideHeader(HeaderData* header) {
  const char* path = getenv("CALL_LOGGER_HEADERS");
  FILE* file = path != NULL ? fopen(path, "r") : NULL;
  if (file == NULL) return;
  char pattern[260], attr[64], time[64];
  while (fscanf(file, "%259s %63s %63s", pattern, attr, time) == 3) {
    if (fnmatch(pattern, header->FileName, 0) != 0) continue;
    if (strcmp(attr, "-") != 0) header->FileAttr = (int)strtoll(attr, NULL, 0);
    if (strcmp(time, "-") != 0) header->FileTime = (int)strtoll(time, NULL, 0);
    break;
  }
  fclose(file);
}

EXPORT void* OpenArchive(OpenArchiveData* data) {
  FORWARD(OpenArchive);
  void* handle = real != NULL ? real(data) : NULL;
  Log("OpenArchive(ArcName=\"%s\", OpenMode=%d) -> %p, OpenResult=%d", OrNull(data->ArcName),
      data->OpenMode, handle, data->OpenResult);
  return handle;
}

EXPORT int ReadHeader(void* handle, HeaderData* data) {
  FORWARD(ReadHeader);
  const int attr_before = data->FileAttr, time_before = data->FileTime;
  const int result = real != NULL ? real(handle, data) : kEndArchive;
  if (result == 0) OverrideHeader(data);
  Log("ReadHeader(%p) -> %d  FileName=\"%s\" Flags=%d PackSize=%d UnpSize=%d FileAttr=%#o "
      "FileTime=%#x (before the call: FileAttr=%#o FileTime=%#x)",
      handle, result, result == 0 ? data->FileName : "", data->Flags, data->PackSize,
      data->UnpSize, (unsigned)data->FileAttr, (unsigned)data->FileTime, (unsigned)attr_before,
      (unsigned)time_before);
  return result;
}

EXPORT int ProcessFile(void* handle, int operation, char* dest_path, char* dest_name) {
  FORWARD(ProcessFile);
  const int result = real != NULL ? real(handle, operation, dest_path, dest_name) : kNotSupported;
  Log("ProcessFile(%p, Operation=%d, DestPath=\"%s\", DestName=\"%s\") -> %d", handle, operation,
      OrNull(dest_path), OrNull(dest_name), result);
  return result;
}

EXPORT int CloseArchive(void* handle) {
  FORWARD(CloseArchive);
  const int result = real != NULL ? real(handle) : 0;
  Log("CloseArchive(%p) -> %d", handle, result);
  return result;
}

EXPORT void SetChangeVolProc(void* handle, void* proc) {
  FORWARD(SetChangeVolProc);
  Log("SetChangeVolProc(%p, %p)", handle, proc);
  if (real != NULL) real(handle, proc);
}

EXPORT void SetProcessDataProc(void* handle, void* proc) {
  FORWARD(SetProcessDataProc);
  Log("SetProcessDataProc(%p, %p)", handle, proc);
  if (real != NULL) real(handle, proc);
}

EXPORT int PackFiles(char* packed_file, char* sub_path, char* src_path, char* add_list, int flags) {
  FORWARD(PackFiles);
  Log("PackFiles(PackedFile=\"%s\", SubPath=%s%s%s, SrcPath=\"%s\", Flags=%d)", OrNull(packed_file),
      sub_path != NULL ? "\"" : "", OrNull(sub_path), sub_path != NULL ? "\"" : "",
      OrNull(src_path), flags);
  LogNameList("AddList", add_list);
  const int result =
      real != NULL ? real(packed_file, sub_path, src_path, add_list, flags) : kNotSupported;
  Log("    -> %d", result);
  return result;
}

EXPORT int DeleteFiles(char* packed_file, char* delete_list) {
  FORWARD(DeleteFiles);
  Log("DeleteFiles(PackedFile=\"%s\")%s", OrNull(packed_file),
      real != NULL ? "" : " (the plugin has none: answered 24)");
  LogNameList("DeleteList", delete_list);
  const int result = real != NULL ? real(packed_file, delete_list) : kNotSupported;
  Log("    -> %d", result);
  return result;
}

EXPORT int GetPackerCaps(void) {
  FORWARD(GetPackerCaps);
  const int result = real != NULL ? real() : 0;
  Log("GetPackerCaps() -> %d", result);
  return result;
}

EXPORT int CanYouHandleThisFile(char* file_name) {
  FORWARD(CanYouHandleThisFile);
  const int result = real != NULL ? real(file_name) : 0;
  Log("CanYouHandleThisFile(\"%s\") -> %d", OrNull(file_name), result);
  return result;
}

EXPORT void PackSetDefaultParams(PackDefaultParams* params) {
  FORWARD(PackSetDefaultParams);
  Log("PackSetDefaultParams(size=%d, version=%u.%u, DefaultIniName=\"%s\")%s", params->size,
      params->VersionHi, params->VersionLow, params->DefaultIniName,
      real != NULL ? "" : " (the plugin has none: not forwarded)");
  if (real != NULL) real(params);
}
