#include "support/host_session.h"

#include <cstring>

namespace kzr::test {

host::Handle OpenForList(const std::string& path, int* code) {
  std::vector<char> name(path.begin(), path.end());
  name.push_back('\0');
  host::OpenArchiveRecord record{};
  record.ArchiveName = name.data();
  record.OpenResult = -1;
  host::Handle handle = Plugin().OpenArchive(&record);
  *code = record.OpenResult;
  return handle;
}

host::HeaderRecord FreshHeaderRecord() {
  host::HeaderRecord record;
  std::memset(&record, 0xAB, sizeof record);
  return record;
}

std::string HostName(std::string name) {
#if !defined(_WIN32)
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
#endif
  return name;
}

std::string NameList(std::initializer_list<std::string> names) {
  std::string list;
  for (const std::string& name : names) list += name + '\0';
  return list + '\0';
}

Listing ListAll(host::Handle handle) {
  Listing listing;
  for (;;) {
    host::HeaderRecord record = FreshHeaderRecord();
    const int code = Plugin().ReadHeader(handle, &record);
    if (code != 0) {
      listing.end_code = code;
      return listing;
    }
    listing.entries.push_back({std::string(record.FileName, strnlen(record.FileName, 260)),
                               record.PackSize, record.UnpSize});
  }
}

Listing ListArchive(const std::string& path, int* open_code) {
  host::Handle handle = OpenForList(path, open_code);
  if (handle == nullptr) return {};
  Listing listing = ListAll(handle);
  Plugin().CloseArchive(handle);
  return listing;
}

}  // namespace kzr::test
