// A native host for whole-process comparisons: drives the exports exactly as
// the file manager does.
//   host_driver extract ARCHIVE OUTDIR   (open, ReadHeader, ProcessFile each entry)
//   host_driver pack ARCHIVE SRCDIR      (PackFiles over every file below SRCDIR)
//   host_driver list ARCHIVE             (OpenArchive and ReadHeader to the end)
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "plugin_api.h"

namespace {

const kzr::host::PluginApi& Api() { return kzr::host::LinkedPlugin(); }

int Extract(const char* archive_path, const std::string& out_dir) {
  kzr::host::OpenArchiveRecord open_record{};
  open_record.ArchiveName = archive_path;
  kzr::host::Handle archive = Api().OpenArchive(&open_record);
  if (archive == nullptr) {
    std::fprintf(stderr, "cannot open %s: %d\n", archive_path, open_record.OpenResult);
    return 1;
  }
  std::string dest = out_dir + "/";
  kzr::host::HeaderRecord header{};
  int code;
  int failures = 0;
  while ((code = Api().ReadHeader(archive, &header)) == 0) {
    // Flatten folder separators: the output folder holds every entry.
    std::string name = header.FileName;
    std::replace(name.begin(), name.end(), '\\', '_');
    if (Api().ProcessFile(archive, kzr::host::kExtract, dest.data(), name.data()) != 0) ++failures;
  }
  Api().CloseArchive(archive);
  return code == kzr::host::kEndArchive && failures == 0 ? 0 : 1;
}

// Open and list only, as a file manager shows an archive: the plugin's own
// cost of a listing.
int List(const char* archive_path) {
  kzr::host::OpenArchiveRecord open_record{};
  open_record.ArchiveName = archive_path;
  kzr::host::Handle archive = Api().OpenArchive(&open_record);
  if (archive == nullptr) return 1;
  kzr::host::HeaderRecord header{};
  std::uint64_t entries = 0;
  int code;
  while ((code = Api().ReadHeader(archive, &header)) == 0) ++entries;
  Api().CloseArchive(archive);
  std::printf("%llu entries\n", static_cast<unsigned long long>(entries));
  return code == kzr::host::kEndArchive ? 0 : 1;
}

int Pack(const char* archive_path, const std::string& source_dir) {
  std::vector<std::string> items;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(source_dir)) {
    if (entry.is_regular_file()) {
      items.push_back(std::filesystem::relative(entry.path(), source_dir).string());
    }
  }
  std::sort(items.begin(), items.end());
  std::string list;
  for (const std::string& item : items) list += item + '\0';
  list += '\0';
  std::string archive = archive_path;
  std::string source = source_dir + "/";
  const int code = Api().PackFiles(archive.data(), nullptr, source.data(), list.data(), 0);
  if (code != 0) std::fprintf(stderr, "PackFiles failed: %d\n", code);
  return code == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "extract") == 0) return Extract(argv[2], argv[3]);
  if (argc == 4 && std::strcmp(argv[1], "pack") == 0) return Pack(argv[2], argv[3]);
  if (argc == 3 && std::strcmp(argv[1], "list") == 0) return List(argv[2]);
  std::fprintf(stderr,
               "usage: host_driver extract ARCHIVE OUTDIR | pack ARCHIVE SRCDIR | list ARCHIVE\n");
  return 2;
}
