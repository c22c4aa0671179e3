// One archive opened through the plugin's exports, in the host's call order:
// OpenArchive, SetProcessDataProc, then ReadHeader and ProcessFile in turn,
// CloseArchive when the object goes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "plugin_loader.h"

namespace kzr::cli {

struct ListedEntry {
  std::string name;  // as ReadHeader reports it (at most 259 bytes)
  std::uint32_t packed = 0;
  std::uint32_t unpacked = 0;
};

class ArchiveSession {
 public:
  // Opens `path`; null on failure, with the plugin's result code in `code`.
  static std::unique_ptr<ArchiveSession> Open(const PluginApi& api, const std::string& path,
                                              int& code);
  ~ArchiveSession();
  ArchiveSession(const ArchiveSession&) = delete;
  ArchiveSession& operator=(const ArchiveSession&) = delete;

  void SetProcessDataProc(host::ProcessDataProc proc);
  // ReadHeader: 0 with `entry` filled, 10 at the end, 13 when the directory
  // is damaged past the entries reported, or another code.
  int Next(ListedEntry& entry);
  // ProcessFile on the entry reported last. Extraction writes to
  // `folder` + `file`; testing and skipping take no paths.
  int Extract(const std::string& folder, const std::string& file);
  int Test();
  int Skip();

 private:
  ArchiveSession(const PluginApi& api, host::ArchiveHandle handle) : api_(api), handle_(handle) {}

  const PluginApi& api_;
  host::ArchiveHandle handle_;
};

struct Listing {
  std::vector<ListedEntry> entries;
  int end_code = 10;  // what ReadHeader answered after the last entry
};

// Opens, lists every entry, closes. Null when the open fails (code set).
std::unique_ptr<Listing> ListArchive(const PluginApi& api, const std::string& path, int& code);

}  // namespace kzr::cli
