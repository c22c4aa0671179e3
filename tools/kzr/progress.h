// A one-line progress bar on stderr for long extractions, tests and packs:
// files done of all, bytes done of all, the rate and the time left, and the
// member under way (the largest of those under way when several jobs run).
// It is drawn only when stderr is a terminal, --quiet was not given and the
// work is large; otherwise every call does next to nothing.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

#include "archive/progress.h"

namespace kzr::cli {

// Work above either limit gets a progress bar.
inline constexpr std::uint64_t kProgressBytes = 16u << 20;
inline constexpr std::size_t kProgressEntries = 200;

class ProgressBar {
 public:
  // `verb` starts the line ("extracting", "testing", "packing").
  ProgressBar(std::string verb, bool quiet, std::size_t files, std::uint64_t bytes);
  // Whether a bar can be drawn at all (stderr a terminal, no --quiet): the
  // work's size need not be learnt otherwise.
  static bool CanShow(bool quiet);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // What one job is doing; the library reports to it as it reads or writes.
  class Job final : public Progress {
   public:
    explicit Job(ProgressBar& bar) : bar_(bar) {}
    bool Begin(std::string_view name, std::uint64_t size) override;
    bool Advance(std::uint64_t bytes) override;
    // The file is done (or was passed over): it counts, with whatever of its
    // bytes it did not report.
    void Finish(std::uint64_t size);

   private:
    friend class ProgressBar;
    ProgressBar& bar_;
    std::string name_;
    std::uint64_t size_ = 0;
    std::uint64_t done_ = 0;
    bool active_ = false;
  };

  // Removes the line from the terminal (it is drawn again on the next update).
  void Clear();

 private:
  void Draw(bool force);  // with mutex_ held

  const std::string verb_;
  const bool visible_;
  const std::size_t total_files_;
  const std::uint64_t total_bytes_;
  std::mutex mutex_;
  std::size_t files_ = 0;
  std::uint64_t bytes_ = 0;
  std::set<Job*> active_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point last_draw_{};
  std::size_t drawn_length_ = 0;
  int drawn_percent_ = -1;
};

// Clears the bar that is drawn, if one is, so that a message can be printed
// on a line of its own.
void ClearProgressLine();

}  // namespace kzr::cli
