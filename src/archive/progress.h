// How long work reports on itself and is stopped: the library calls its
// caller's Progress (a context of the caller's own, not a global) as it
// goes, and stops with kAborted when it answers false.
#pragma once

#include <cstdint>
#include <string_view>

namespace kzr {

class Progress {
 public:
  // A member begins: its name (text) and its size in bytes.
  virtual bool Begin(std::string_view name, std::uint64_t size) = 0;
  // `bytes` more of it are done.
  virtual bool Advance(std::uint64_t bytes) = 0;

 protected:
  ~Progress() = default;
};

}  // namespace kzr
