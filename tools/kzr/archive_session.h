// One archive opened through the plugin's exports, in the host's call order:
// OpenArchive, SetProcessDataProc, then ReadHeader and ProcessFile in turn,
// CloseArchive when the object goes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "open_failure.h"
#include "plugin_api.h"

namespace kzr {
class ArchiveReader;
}

namespace kzr::cli {

struct ListedEntry {
  std::string name;  // as ReadHeader reports it (at most 259 bytes)
  std::uint32_t packed = 0;
  std::uint32_t unpacked = 0;
  // What the exports cannot tell, from the reader of linked-in exports only.
  std::optional<bool> compressed;
  // The name's bytes as the archive holds them, when asked for.
  std::optional<std::string> stored_name;
  // The reported name was cut to fit the host's record; with a plugin that
  // cannot tell the whole name's length, it is long enough to have been.
  bool name_cut = false;
  bool name_cut_for_sure = false;
};

// Why an entry whose name was or may have been cut (name_cut) cannot be
// chosen by that name.
std::string CutNameProblem(const ListedEntry& entry);

class ArchiveSession {
 public:
  // Opens `path`; null on failure, with the plugin's result code and the
  // system's reason in `failure`.
  static std::unique_ptr<ArchiveSession> Open(const host::PluginApi& api, const std::string& path,
                                              OpenFailure& failure);
  ~ArchiveSession();
  ArchiveSession(const ArchiveSession&) = delete;
  ArchiveSession& operator=(const ArchiveSession&) = delete;

  void SetProcessDataProc(host::ProcessDataProc proc);
  // Whether Next() also gives each entry's stored name (off: a copy per
  // entry that most commands never look at).
  void ReportStoredNames(bool report) { stored_names_ = report; }
  // ReadHeader: 0 with `entry` filled, 10 at the end, 13 when the directory
  // is damaged past the entries reported, or another code.
  int Next(ListedEntry& entry);
  // ProcessFile on the entry reported last. Extraction writes to
  // `folder` + `file`; testing and skipping take no paths.
  int Extract(const std::string& folder, const std::string& file);
  int Test();
  int Skip();

  // The archive's reader when the exports are linked in; null under --plugin.
  // Its current entry is the one reported last.
  ArchiveReader* reader() const { return reader_; }

 private:
  ArchiveSession(const host::PluginApi& api, host::Handle handle)
      : api_(api), handle_(handle),
        reader_(api.ReaderOf != nullptr ? api.ReaderOf(handle) : nullptr) {}

  const host::PluginApi& api_;
  host::Handle handle_;
  ArchiveReader* reader_;  // asked once: Next() wants it for every entry
  // Reused for every entry: the plugin fills in what it reports, and
  // clearing a whole record per entry is a noticeable part of a listing.
  host::HeaderRecord record_{};
  bool stored_names_ = false;
};

}  // namespace kzr::cli
