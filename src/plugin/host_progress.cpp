#include "plugin/host_progress.h"

#include <algorithm>

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

bool HostProgress::Begin(std::string_view name, std::uint64_t) {
  if (callbacks_.ansi != nullptr) {
    ansi_name_ = text_.ShownAnsi(name);
  } else if (callbacks_.wide != nullptr) {
    wide_name_ = text_.ShownWide(name);
  }
  return Report(0);
}

bool HostProgress::Advance(std::uint64_t bytes) { return Report(bytes); }

bool HostProgress::Report(std::uint64_t bytes) {
  // The count is an int: a piece is at most some MiB.
  const int size = static_cast<int>(std::min<std::uint64_t>(bytes, 0x7FFFFFFF));
  if (callbacks_.ansi != nullptr) return callbacks_.ansi(ansi_name_.data(), size) != 0;
  if (callbacks_.wide != nullptr) return callbacks_.wide(wide_name_.data(), size) != 0;
  return true;
}

}  // namespace kzr::host
