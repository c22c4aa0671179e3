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

  bool Begin(std::string_view name, std::uint64_t size) override;
  bool Advance(std::uint64_t bytes) override;
  // Reports bytes without a member's name having changed (an empty member's
  // end, say).
  bool Report(std::uint64_t bytes);

 private:
  Callbacks::Current callbacks_;
  HostText& text_;
  std::string ansi_name_;
  std::u16string wide_name_;
};

}  // namespace kzr::host
