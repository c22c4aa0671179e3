// A one-line progress bar on stderr, for long extractions, tests and packs.
// It is drawn only when stderr is a terminal, --quiet was not given and the
// work is large; otherwise every call does nothing.
//
// Extraction and testing are driven by the plugin's ProcessDataProc: the
// plugin calls it with an entry's stored name and 0 before the entry and with
// its unpacked size after it. PackFiles reports nothing, so packing is
// followed by watching the archive file grow.
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

#include "plugin/host_interface.h"

namespace kzr::cli {

// Work above either limit gets a progress bar.
inline constexpr std::uint64_t kProgressBytes = 16u << 20;
inline constexpr std::size_t kProgressEntries = 200;

bool StderrIsTerminal();

class Progress {
 public:
  // `verb` starts the line ("extracting", "testing", "packing").
  Progress(std::string verb, std::uint64_t total_bytes, std::size_t total_entries, bool quiet);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

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
  const std::uint64_t total_bytes_;
  const std::size_t total_entries_;
  const bool visible_;
  std::mutex mutex_;  // the pack watcher draws from its own thread
  std::uint64_t bytes_ = 0;
  std::size_t entries_ = 0;
  std::string name_;
  std::size_t drawn_length_ = 0;
  unsigned spin_ = 0;
  std::chrono::steady_clock::time_point last_draw_{};
};

// Clears the active progress line, if one is drawn, so that a message can be
// printed on a line of its own.
void ClearProgressLine();

// While it lives, updates `progress` from the size of the file at `path`
// every tenth of a second (PackFiles writes the archive front to back).
class FileGrowthWatcher {
 public:
  FileGrowthWatcher(Progress& progress, std::string path);
  ~FileGrowthWatcher();
  FileGrowthWatcher(const FileGrowthWatcher&) = delete;
  FileGrowthWatcher& operator=(const FileGrowthWatcher&) = delete;

 private:
  Progress& progress_;
  const std::string path_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace kzr::cli
