// A one-line progress bar on stderr, for long extractions, tests and packs.
// It is drawn only when stderr is a terminal, --quiet was not given and the
// work is large; otherwise every call does nothing.
//
// Extraction and testing are driven by the plugin's ProcessDataProc: the
// plugin calls it with an entry's stored name and 0 before the entry, then
// with the bytes of each piece it has done, so the bar moves during a large
// member. PackFiles reports nothing, so packing is followed by watching the
// new archive grow.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "entry_selection.h"
#include "plugin_api.h"

namespace kzr::cli {

// Work above either limit gets a progress bar.
inline constexpr std::uint64_t kProgressBytes = 16u << 20;
inline constexpr std::size_t kProgressEntries = 200;

bool StderrIsTerminal();

struct Totals {
  std::uint64_t bytes = 0;
  std::size_t entries = 0;
};

// The totals of the entries that `selection` would choose, from one listing
// of the archive through the exports.
Totals ListingTotals(const host::PluginApi& api, const std::string& archive,
                     const EntrySelection& selection);

class Progress {
 public:
  // `verb` starts the line ("extracting", "testing", "packing").
  Progress(std::string verb, bool quiet);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // Whether a bar would be drawn for large work (a terminal, not quiet):
  // only then are the totals worth finding.
  bool wanted() const { return wanted_; }
  void SetTotals(Totals totals);
  bool visible() const { return visible_; }

  void StartEntry(std::string_view name);
  void AddBytes(std::uint64_t bytes);
  void FinishEntry();
  // For work that reports no entries: the bytes done so far, absolutely.
  void SetBytes(std::uint64_t bytes);
  // Removes the line from the terminal (it is drawn again on the next update).
  void Clear();

  // The ProcessDataProc to install: feeds whichever Progress was made last
  // and still lives (only one is ever active).
  static int KZR_API DataProc(char* name, int size);

 private:
  void Draw(bool force);

  const std::string verb_;
  const bool wanted_;
  bool visible_ = false;
  Totals totals_;
  std::mutex mutex_;  // workers and the pack watcher draw from their own threads
  std::uint64_t bytes_ = 0;
  std::size_t entries_ = 0;
  std::string name_;
  std::size_t drawn_length_ = 0;
  int drawn_percent_ = -1;
  unsigned spin_ = 0;
  std::chrono::steady_clock::time_point last_draw_{};
};

// Clears the active progress line, if one is drawn, so that a message can be
// printed on a line of its own.
void ClearProgressLine();

// While it lives, updates `progress` every tenth of a second from the size
// of the largest file in `folder` whose name holds `mark` (the plugin writes
// a new archive front to back under a temporary name, marked as this
// process's).
class FileGrowthWatcher {
 public:
  FileGrowthWatcher(Progress& progress, std::string folder, std::string mark);
  ~FileGrowthWatcher();
  FileGrowthWatcher(const FileGrowthWatcher&) = delete;
  FileGrowthWatcher& operator=(const FileGrowthWatcher&) = delete;

 private:
  Progress& progress_;
  const std::string folder_;
  const std::string mark_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace kzr::cli
