// The host's progress callbacks. A host gives one per open archive, and one
// for packing and deleting with the handle -1; it may give the ANSI or the
// wide kind, from several threads, and the one it gave last counts. Each
// call tells the bytes done since the call before; an answer of 0 asks the
// plugin to stop, which it does with result 21.
#pragma once

#include <mutex>
#include <string>

#include "archive/progress.h"
#include "plugin/host_interface.h"
#include "plugin/host_text.h"

namespace kzr::host {

// One host's callbacks, the kind given last.
class Callbacks {
 public:
  void Set(ProcessDataProc proc) noexcept;
  void Set(ProcessDataProcW proc) noexcept;

  struct Current {
    ProcessDataProc ansi = nullptr;
    ProcessDataProcW wide = nullptr;
  };
  Current Get() const noexcept;

 private:
  mutable std::mutex mutex_;
  Current current_;
};

// The callbacks given with the handle -1.
Callbacks& PackingCallbacks() noexcept;

// Reports a call's work to the host's callback, naming each member as the
// host shows names.
class HostProgress final : public Progress {
 public:
  HostProgress(Callbacks::Current callbacks, HostText& text) noexcept
      : callbacks_(callbacks), text_(text) {}

  bool Begin(std::string_view name, std::uint64_t size) override {
    return Begin(name, size, true);
  }
  // With `report` false, only takes the name for the calls to come.
  bool Begin(std::string_view name, std::uint64_t size, bool report);
  bool Advance(std::uint64_t bytes) override;
  // Reports bytes without a member's name having changed (an empty member's
  // end, say).
  bool Report(std::uint64_t bytes);
  // Reports a share of the whole work, 1 to 100 percent (as the host takes
  // -1 to -100).
  bool ReportPercent(int percent);

 private:
  Callbacks::Current callbacks_;
  HostText& text_;
  std::string ansi_name_;
  std::u16string wide_name_;
};

// Deleting reports how far it has copied what stays, in percent: the host
// knows the size of what goes, not of what stays.
class PercentProgress final : public Progress {
 public:
  explicit PercentProgress(HostProgress& host) noexcept : host_(host) {}
  bool Begin(std::string_view name, std::uint64_t size) override;
  bool Advance(std::uint64_t bytes) override;

 private:
  HostProgress& host_;
  std::uint64_t total_ = 0;
  std::uint64_t done_ = 0;
  int reported_ = 0;
};

}  // namespace kzr::host
