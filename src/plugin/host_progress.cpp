#include "plugin/host_progress.h"

#include <algorithm>
#include <cstdint>

namespace kzr::host {

void Callbacks::Set(ProcessDataProc proc) noexcept {
  const std::lock_guard lock(mutex_);
  current_ = {proc, nullptr};
}

void Callbacks::Set(ProcessDataProcW proc) noexcept {
  const std::lock_guard lock(mutex_);
  current_ = {nullptr, proc};
}

Callbacks::Current Callbacks::Get() const noexcept {
  const std::lock_guard lock(mutex_);
  return current_;
}

Callbacks& PackingCallbacks() noexcept {
  static Callbacks callbacks;
  return callbacks;
}

bool HostProgress::Begin(std::string_view name, std::uint64_t, bool report) {
  if (callbacks_.ansi != nullptr) {
    ansi_name_ = text_.ShownAnsi(name);
  } else if (callbacks_.wide != nullptr) {
    wide_name_ = text_.ShownWide(name);
  }
  return !report || Report(0);
}

bool HostProgress::Advance(std::uint64_t bytes) { return Report(bytes); }

bool HostProgress::Report(std::uint64_t bytes) {
  // The count is an int: a piece is at most some MiB.
  const int size = static_cast<int>(std::min<std::uint64_t>(bytes, 0x7FFFFFFF));
  if (callbacks_.ansi != nullptr) return callbacks_.ansi(ansi_name_.data(), size) != 0;
  if (callbacks_.wide != nullptr) return callbacks_.wide(wide_name_.data(), size) != 0;
  return true;
}

bool HostProgress::ReportPercent(int percent) {
  if (callbacks_.ansi != nullptr) return callbacks_.ansi(ansi_name_.data(), -percent) != 0;
  if (callbacks_.wide != nullptr) return callbacks_.wide(wide_name_.data(), -percent) != 0;
  return true;
}

bool PercentProgress::Begin(std::string_view name, std::uint64_t size) {
  // The name goes with the first share, which tells the host where it is.
  total_ = size;
  done_ = 0;
  reported_ = 0;
  host_.Begin(name, 0, false);
  return host_.ReportPercent(1);
}

bool PercentProgress::Advance(std::uint64_t bytes) {
  done_ += bytes;
  const int percent = total_ == 0 ? 100 : static_cast<int>(1 + 99 * std::min(done_, total_) / total_);
  if (percent == reported_) return true;
  reported_ = percent;
  return host_.ReportPercent(percent);
}

}  // namespace kzr::host
