// Drives the plugin as the file manager does: open, list, close.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/plugin_under_test.h"

namespace kzr::test {

struct ListedEntry {
  std::string name;
  std::uint32_t packed_size;
  std::uint32_t unpacked_size;
  bool operator==(const ListedEntry&) const = default;
};

struct Listing {
  std::vector<ListedEntry> entries;
  int end_code = -1;  // what ReadHeader answered after the last entry
};

// Opens an archive; the result code the plugin wrote is stored in `*code`.
host::Handle OpenForList(const std::string& path, int* code);

// Lists every entry of an open archive until ReadHeader stops answering 0.
Listing ListAll(host::Handle handle);

// Opens, lists and closes; `open_code` receives the open's result code.
Listing ListArchive(const std::string& path, int* open_code);

// A header record filled with a marker byte, so untouched bytes show.
host::HeaderRecord FreshHeaderRecord();

// A name written with `\` between folders, as the host of this platform
// writes it: unchanged on Windows, with `/` elsewhere.
std::string HostName(std::string name);

// A host list: names separated by NULs, closed by an empty name.
std::string NameList(std::initializer_list<std::string> names);

}  // namespace kzr::test
