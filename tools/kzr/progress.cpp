#include "progress.h"

#include <atomic>
#include <cstdio>

#include "base/utf8.h"
#include "quantities.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <io.h>
#include <windows.h>

#include "platform/wide_text.h"
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace kzr::cli {
namespace {

std::atomic<ProgressBar*> g_drawn{nullptr};

bool StderrIsTerminal() {
#if defined(_WIN32)
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

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

void WriteLine(const std::string& text) {
#if defined(_WIN32)
  DWORD written = 0;
  const std::wstring wide = WideFromUtf8(text);
  if (!WriteConsoleW(GetStdHandle(STD_ERROR_HANDLE), wide.data(),
                     static_cast<DWORD>(wide.size()), &written, nullptr)) {
    std::fputs(text.c_str(), stderr);
  }
#else
  std::fputs(text.c_str(), stderr);
#endif
  std::fflush(stderr);
}

std::string Mebibytes(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return text;
}

std::string Duration(double seconds) {
  const auto whole = static_cast<unsigned long long>(seconds + 0.5);
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", whole / 3600, whole / 60 % 60, whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%llu:%02llu", whole / 60, whole % 60);
  }
  return text;
}

}  // namespace

ProgressBar::ProgressBar(std::string verb, bool quiet, std::size_t files, std::uint64_t bytes)
    : verb_(std::move(verb)),
      visible_(CanShow(quiet) && (bytes > kProgressBytes || files > kProgressEntries)),
      total_files_(files), total_bytes_(bytes) {
  if (visible_) g_drawn.store(this);
}

bool ProgressBar::CanShow(bool quiet) { return !quiet && StderrIsTerminal(); }

ProgressBar::~ProgressBar() {
  ProgressBar* self = this;
  g_drawn.compare_exchange_strong(self, nullptr);
  Clear();
}

bool ProgressBar::Job::Begin(std::string_view name, std::uint64_t size) {
  if (!bar_.visible_) return true;
  const std::lock_guard lock(bar_.mutex_);
  name_.assign(name);
  size_ = size;
  done_ = 0;
  active_ = true;
  bar_.active_.insert(this);
  bar_.Draw(false);
  return true;
}

bool ProgressBar::Job::Advance(std::uint64_t bytes) {
  if (!bar_.visible_) return true;
  const std::lock_guard lock(bar_.mutex_);
  done_ += bytes;
  bar_.bytes_ += bytes;
  bar_.Draw(false);
  return true;
}

void ProgressBar::Job::Finish(std::uint64_t size) {
  if (!bar_.visible_) return;
  const std::lock_guard lock(bar_.mutex_);
  const std::uint64_t reported = active_ ? done_ : 0;
  if (size > reported) bar_.bytes_ += size - reported;
  ++bar_.files_;
  active_ = false;
  bar_.active_.erase(this);
  bar_.Draw(bar_.files_ == bar_.total_files_);
}

void ProgressBar::Clear() {
  if (!visible_) return;
  const std::lock_guard lock(mutex_);
  if (drawn_length_ == 0) return;
  std::string blank(drawn_length_ + 2, ' ');
  blank.front() = blank.back() = '\r';
  WriteLine(blank);
  drawn_length_ = 0;
}

void ProgressBar::Draw(bool force) {
  double fraction = 0;
  if (total_bytes_ != 0) {
    fraction = static_cast<double>(bytes_) / static_cast<double>(total_bytes_);
  } else if (total_files_ != 0) {
    fraction = static_cast<double>(files_) / static_cast<double>(total_files_);
  }
  fraction = std::min(fraction, 1.0);
  // Whenever the percentage moves (a hundred times at most), and otherwise
  // at most every 80 ms, for the counts and the name.
  const auto now = std::chrono::steady_clock::now();
  const int percent_now = static_cast<int>(fraction * 100);
  if (!force && drawn_length_ != 0 && percent_now == drawn_percent_ &&
      now - last_draw_ < std::chrono::milliseconds(80)) {
    return;
  }
  last_draw_ = now;
  drawn_percent_ = percent_now;
  constexpr int kBarWidth = 20;
  const int filled = static_cast<int>(fraction * kBarWidth);
  char percent[16];
  std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(fraction * 100));
  std::string line = verb_ + " [" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') +
                     "] " + percent + " " + std::to_string(files_) + "/" +
                     std::to_string(total_files_) + " files  " + Mebibytes(bytes_) + "/" +
                     Mebibytes(total_bytes_) + " MiB";
  const double seconds = std::chrono::duration<double>(now - start_).count();
  if (seconds >= 1 && bytes_ != 0) {
    const double rate = static_cast<double>(bytes_) / seconds;
    line += "  " + Mebibytes(static_cast<std::uint64_t>(rate)) + " MiB/s";
    if (total_bytes_ > bytes_) {
      line += "  " + Duration(static_cast<double>(total_bytes_ - bytes_) / rate) + " left";
    }
  }
  // The largest member under way: the one the wait is for.
  const Job* largest = nullptr;
  for (const Job* job : active_) {
    if (largest == nullptr || job->size_ > largest->size_) largest = job;
  }
  if (largest != nullptr) line += "  " + largest->name_;

  line.resize(utf8::CutPoint(line, TerminalWidth() - 1));
  const std::size_t length = line.size();
  if (drawn_length_ > length) line.append(drawn_length_ - length, ' ');
  line.insert(line.begin(), '\r');
  WriteLine(line);
  drawn_length_ = length;
}

void ClearProgressLine() {
  if (ProgressBar* bar = g_drawn.load()) bar->Clear();
}

}  // namespace kzr::cli
