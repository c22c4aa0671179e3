// A host in a process of its own, for the command-line tests and the
// whole-process benchmarks: drives the ANSI exports as a file manager does,
// linked in or from a plugin binary loaded by name.
//
//   test_host [--plugin PATH] list ARCHIVE
//       one line per entry: name, packed size, unpacked size (tab between);
//       then "end CODE", what ReadHeader answered last (10 when all is well)
//   test_host [--plugin PATH] extract ARCHIVE OUTDIR
//       every entry into OUTDIR under its listed name, folders made as needed
//   test_host [--plugin PATH] pack ARCHIVE SRCDIR [SUBPATH]
//       PackFiles of every file below SRCDIR, in name order
//   test_host [--plugin PATH] delete ARCHIVE NAME...
//       DeleteFiles of the names (as listed)
//
// Exits 0 on success; else prints the result code the plugin answered, in
// brackets ("...: failed (16)"), and exits 1 (2 for a wrong command line or a
// plugin that cannot be loaded).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <direct.h>
#else
#include <sys/stat.h>
#endif

#include "support/plugin_api.h"

namespace {

#if defined(_WIN32)
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

const kzr::host::PluginApi* g_api = nullptr;
// A loaded plugin stays loaded until the process ends, as in a file manager.
kzr::host::PluginModule* g_module = nullptr;

const kzr::host::PluginApi& Api() { return *g_api; }

int Failed(const char* what, const std::string& about, int code) {
  std::fprintf(stderr, "test_host: %s %s: failed (%d)\n", what, about.c_str(), code);
  return 1;
}

kzr::host::Handle Open(const std::string& archive) {
  kzr::host::OpenArchiveRecord record{};
  record.ArchiveName = archive.c_str();
  kzr::host::Handle handle = Api().OpenArchive(&record);
  if (handle == nullptr) Failed("OpenArchive", archive, record.OpenResult);
  return handle;
}

// Makes the folders of `path` up to its last separator (the file's own name
// is not one).
void MakeFolders(const std::string& path) {
  for (std::size_t at = path.find(kSeparator, 1); at != std::string::npos;
       at = path.find(kSeparator, at + 1)) {
    const std::string folder = path.substr(0, at);
#if defined(_WIN32)
    _mkdir(folder.c_str());
#else
    mkdir(folder.c_str(), 0777);
#endif
  }
}

int List(const std::string& archive) {
  kzr::host::Handle handle = Open(archive);
  if (handle == nullptr) return 1;
  kzr::host::HeaderRecord header{};
  int code;
  while ((code = Api().ReadHeader(handle, &header)) == 0) {
    std::printf("%s\t%u\t%u\n", header.FileName, header.PackSize, header.UnpSize);
  }
  Api().CloseArchive(handle);
  std::printf("end %d\n", code);
  return code == kzr::host::kEndArchive ? 0 : Failed("ReadHeader", archive, code);
}

int Extract(const std::string& archive, std::string folder) {
  kzr::host::Handle handle = Open(archive);
  if (handle == nullptr) return 1;
  if (folder.empty() || folder.back() != kSeparator) folder += kSeparator;
  kzr::host::HeaderRecord header{};
  int code;
  int failed = 0;
  while ((code = Api().ReadHeader(handle, &header)) == 0) {
    std::string name = header.FileName;
    MakeFolders(folder + name);
    const int result = Api().ProcessFile(handle, kzr::host::kExtract, folder.data(), name.data());
    if (result != 0) failed = Failed("ProcessFile", name, result);
  }
  Api().CloseArchive(handle);
  if (code != kzr::host::kEndArchive) return Failed("ReadHeader", archive, code);
  return failed;
}

int Pack(std::string archive, const std::string& source_folder, const char* sub_path) {
  namespace fs = std::filesystem;
  std::vector<std::string> items;
  for (const auto& entry : fs::recursive_directory_iterator(source_folder)) {
    if (entry.is_regular_file()) {
      items.push_back(fs::relative(entry.path(), source_folder).string());
    }
  }
  std::sort(items.begin(), items.end());
  std::string list;
  for (const std::string& item : items) list.append(item).push_back('\0');
  list.push_back('\0');
  std::string source = source_folder;
  if (source.empty() || source.back() != kSeparator) source += kSeparator;
  std::string sub = sub_path != nullptr ? sub_path : "";
  const int code = Api().PackFiles(archive.data(), sub_path != nullptr ? sub.data() : nullptr,
                                   source.data(), list.data(), 0);
  return code == 0 ? 0 : Failed("PackFiles", archive, code);
}

int Delete(std::string archive, char** names, int count) {
  std::string list;
  for (int i = 0; i < count; ++i) list.append(names[i]).push_back('\0');
  list.push_back('\0');
  const int code = Api().DeleteFiles(archive.data(), list.data());
  return code == 0 ? 0 : Failed("DeleteFiles", archive, code);
}

int Usage() {
  std::fprintf(stderr,
               "usage: test_host [--plugin PATH] list ARCHIVE | extract ARCHIVE OUTDIR |\n"
               "                 pack ARCHIVE SRCDIR [SUBPATH] | delete ARCHIVE NAME...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int at = 1;
  g_api = &kzr::host::LinkedPlugin();
  if (argc > 2 && std::strcmp(argv[1], "--plugin") == 0) {
    std::string error;
    g_module = kzr::host::PluginModule::Load(argv[2], error).release();
    if (g_module == nullptr) {
      std::fprintf(stderr, "test_host: %s: %s\n", argv[2], error.c_str());
      return 2;
    }
    g_api = &g_module->Api();
    if (!g_api->OpenArchive || !g_api->ReadHeader || !g_api->ProcessFile || !g_api->CloseArchive ||
        !g_api->PackFiles || !g_api->DeleteFiles) {
      std::fprintf(stderr, "test_host: %s lacks an export a host needs\n", argv[2]);
      return 2;
    }
    at = 3;
  }
  if (argc - at < 2) return Usage();
  const std::string command = argv[at];
  const std::string archive = argv[at + 1];
  const int rest = argc - at - 2;
  if (command == "list" && rest == 0) return List(archive);
  if (command == "extract" && rest == 1) return Extract(archive, argv[at + 2]);
  if (command == "pack" && (rest == 1 || rest == 2)) {
    return Pack(archive, argv[at + 2], rest == 2 ? argv[at + 3] : nullptr);
  }
  if (command == "delete" && rest >= 1) return Delete(archive, argv + at + 2, rest);
  return Usage();
}
