#include "progress.h"

#include <algorithm>
#include <cstdio>

#include "archive_session.h"
#include "native_fs.h"
#include "plugin/host_names.h"
#include "quantities.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace kzr::cli {
namespace {

std::atomic<Progress*> g_active{nullptr};

std::size_t TerminalWidth() {
#if defined(_WIN32)
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) {
    const int width = info.srWindow.Right - info.srWindow.Left + 1;
    if (width > 20) return static_cast<std::size_t>(width);
  }
#else
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20) return size.ws_col;
#endif
  return 80;
}

std::string Megabytes(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return text;
}

}  // namespace

bool StderrIsTerminal() {
#if defined(_WIN32)
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

Totals ListingTotals(const host::PluginApi& api, const std::string& archive,
                     const EntrySelection& selection) {
  Totals totals;
  OpenFailure failure;
  std::unique_ptr<ArchiveSession> session = ArchiveSession::Open(api, archive, failure);
  if (!session) return totals;
  ListedEntry entry;
  while (session->Next(entry) == host::kOk) {
    if (!selection.WouldSelect(entry.name)) continue;
    totals.bytes += entry.unpacked;
    ++totals.entries;
  }
  return totals;
}

Progress::Progress(std::string verb, bool quiet)
    : verb_(std::move(verb)), wanted_(!quiet && StderrIsTerminal()) {
  g_active.store(this);
}

void Progress::SetTotals(Totals totals) {
  std::lock_guard lock(mutex_);
  totals_ = totals;
  visible_ = wanted_ && (totals.bytes > kProgressBytes || totals.entries > kProgressEntries);
}

Progress::~Progress() {
  Progress* self = this;
  g_active.compare_exchange_strong(self, nullptr);
  Clear();
}

int KZR_API Progress::DataProc(char* name, int size) {
  Progress* progress = g_active.load();
  if (progress == nullptr) return 1;
  if (size == 0) {
    if (name != nullptr) progress->StartEntry(name);
  } else {
    // The plugin passes the unpacked size as a signed 32-bit count.
    progress->AddBytes(static_cast<std::uint32_t>(size));
  }
  return 1;
}

void Progress::StartEntry(std::string_view name) {
  if (!visible_) return;
  std::lock_guard lock(mutex_);
  name_.assign(name);
  Draw(false);
}

void Progress::AddBytes(std::uint64_t bytes) {
  if (!visible_) return;
  std::lock_guard lock(mutex_);
  bytes_ += bytes;
  Draw(false);
}

void Progress::FinishEntry() {
  if (!visible_) return;
  std::lock_guard lock(mutex_);
  ++entries_;
  Draw(entries_ == totals_.entries);
}

void Progress::SetBytes(std::uint64_t bytes) {
  if (!visible_) return;
  std::lock_guard lock(mutex_);
  bytes_ = bytes;
  ++spin_;
  Draw(true);
}

void Progress::Clear() {
  if (!visible_) return;
  std::lock_guard lock(mutex_);
  if (drawn_length_ == 0) return;
  std::fprintf(stderr, "\r%*s\r", static_cast<int>(drawn_length_), "");
  std::fflush(stderr);
  drawn_length_ = 0;
}

void Progress::Draw(bool force) {
  double fraction = 0;
  if (totals_.bytes != 0) {
    fraction = static_cast<double>(bytes_) / static_cast<double>(totals_.bytes);
  } else if (totals_.entries != 0) {
    fraction = static_cast<double>(entries_) / static_cast<double>(totals_.entries);
  }
  if (fraction > 1) fraction = 1;
  const int percent = static_cast<int>(fraction * 100);
  // Drawn whenever the percentage moves (at most a hundred times), and
  // otherwise at most every 80 ms, for the name and the counts.
  const auto now = std::chrono::steady_clock::now();
  if (!force && drawn_length_ != 0 && percent == drawn_percent_ &&
      now - last_draw_ < std::chrono::milliseconds(80)) {
    return;
  }
  last_draw_ = now;
  drawn_percent_ = percent;

  constexpr int kBarWidth = 24;
  const int filled = static_cast<int>(fraction * kBarWidth);
  static constexpr char kSpinner[] = "|/-\\";

  std::string line = verb_ + " [" + std::string(filled, '#') +
                     std::string(kBarWidth - filled, '.') + "] ";
  char numbers[96];
  std::snprintf(numbers, sizeof numbers, "%3d%% ", percent);
  line += numbers;
  if (name_.empty() && entries_ == 0) {
    // Packing: no entries are reported, only bytes.
    line += kSpinner[spin_ % 4];
    line += ' ';
    line += Plural(totals_.entries, "file", "files");
    line += ' ';
  } else {
    std::snprintf(numbers, sizeof numbers, "%zu/%zu ", entries_, totals_.entries);
    line += numbers;
  }
  line += Megabytes(bytes_) + "/" + Megabytes(totals_.bytes) + " MiB  ";
  line += name_;

  const std::size_t width = TerminalWidth() - 1;
  // Cut before a character, never inside one.
  line.resize(host::CharacterCutPoint(line, width));
  const std::size_t pad = drawn_length_ > line.size() ? drawn_length_ - line.size() : 0;
  std::fprintf(stderr, "\r%s%*s", line.c_str(), static_cast<int>(pad), "");
  std::fflush(stderr);
  drawn_length_ = line.size();
}

void ClearProgressLine() {
  if (Progress* progress = g_active.load()) progress->Clear();
}

FileGrowthWatcher::FileGrowthWatcher(Progress& progress, std::string folder, std::string mark)
    : progress_(progress), folder_(std::move(folder)), mark_(std::move(mark)) {
  if (!progress_.visible()) return;
  thread_ = std::thread([this] {
    std::unique_lock lock(mutex_);
    while (!stop_) {
      lock.unlock();
      std::uint64_t largest = 0;
      std::string error;
      if (const auto names = ListFolder(folder_, error)) {
        for (const FolderEntry& entry : *names) {
          const std::string& name = entry.name;
          if (name.find(mark_) != std::string::npos) {
            largest = std::max(largest, FileSize(WithTrailingSeparator(folder_) + name).value_or(0));
          }
        }
      }
      progress_.SetBytes(largest);
      lock.lock();
      wake_.wait_for(lock, std::chrono::milliseconds(100), [this] { return stop_; });
    }
  });
}

FileGrowthWatcher::~FileGrowthWatcher() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

}  // namespace kzr::cli
