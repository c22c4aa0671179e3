// The two ends of a member's pipeline, as the decoders see them: stored
// bytes fetched by offset (so that a decoder can come back to a few bytes it
// has already seen), and decoded bytes handed on in order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/status.h"

namespace kzr {

class StoredBytes {
 public:
  // Copies the `size` bytes that start `offset` bytes into the stored bytes
  // to `to`. Callers never ask for bytes past the stored size. kOk, or
  // kReadFailed when they cannot all be had.
  virtual Status Read(std::uint64_t offset, std::uint8_t* to, std::size_t size) noexcept = 0;

 protected:
  ~StoredBytes() = default;
};

class MemberSink {
 public:
  // Takes the next `size` bytes of the member. Anything but kOk stops the
  // pipeline, which returns that status.
  virtual Status Write(const std::uint8_t* bytes, std::size_t size) noexcept = 0;

 protected:
  ~MemberSink() = default;
};

}  // namespace kzr
