// A minimal Windows host: loads the plugin DLL by name, as the file manager
// does, and lists an archive through its exports.
//   host_list.exe PLUGIN ARCHIVE
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "plugin/exports.h"

namespace {

template <typename Function>
Function Lookup(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: host_list PLUGIN ARCHIVE\n");
    return 2;
  }
  HMODULE plugin = LoadLibraryA(argv[1]);
  if (plugin == nullptr) {
    std::fprintf(stderr, "host_list: cannot load %s (error %lu)\n", argv[1], GetLastError());
    return 1;
  }
  auto can_handle = Lookup<decltype(&CanYouHandleThisFile)>(plugin, "CanYouHandleThisFile");
  auto open_archive = Lookup<decltype(&OpenArchive)>(plugin, "OpenArchive");
  auto read_header = Lookup<decltype(&ReadHeader)>(plugin, "ReadHeader");
  auto close_archive = Lookup<decltype(&CloseArchive)>(plugin, "CloseArchive");
  if (!can_handle || !open_archive || !read_header || !close_archive) {
    std::fprintf(stderr, "host_list: %s lacks the listing exports\n", argv[1]);
    return 1;
  }

  std::printf("%s: %s\n", argv[2],
              can_handle(argv[2]) ? "recognised as a KZR archive" : "not recognised");
  kzr::host::OpenArchiveRecord open_record{};
  open_record.ArchiveName = argv[2];
  kzr::host::ArchiveHandle archive = open_archive(&open_record);
  if (archive == nullptr) {
    std::fprintf(stderr, "host_list: cannot open %s (result %d)\n", argv[2],
                 open_record.OpenResult);
    return 1;
  }
  std::printf("%12s %12s  %s\n", "packed", "unpacked", "name");
  kzr::host::HeaderRecord header{};
  int code;
  int count = 0;
  while ((code = read_header(archive, &header)) == 0) {
    std::printf("%12u %12u  %s\n", header.PackSize, header.UnpSize, header.FileName);
    ++count;
  }
  close_archive(archive);
  std::printf("%d entries%s\n", count, code == 10 ? "" : " (the directory is damaged)");
  FreeLibrary(plugin);
  return code == 10 ? 0 : 1;
}
