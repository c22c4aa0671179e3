// The decoders' source and sink over memory, for the tests, the benchmarks
// and the fuzz targets: stored bytes served from a buffer (failing from a
// chosen offset on, if asked), and decoded bytes collected in a vector or
// only counted (failing after a chosen count, if asked). Both note what a
// decoder must never do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "base/status.h"
#include "codec/byte_stream.h"

namespace kzr::test {

class MemoryStoredBytes final : public StoredBytes {
 public:
  // Reads that reach stored byte `fail_from` or beyond answer kReadFailed.
  MemoryStoredBytes(const std::uint8_t* bytes, std::size_t size,
                    std::uint64_t fail_from = std::numeric_limits<std::uint64_t>::max())
      : bytes_(bytes), size_(size), fail_from_(fail_from) {}

  Status Read(std::uint64_t offset, std::uint8_t* to, std::size_t size) noexcept override {
    if (offset > size_ || size > size_ - offset) {
      read_past_end_ = true;
      return Status::kReadFailed;
    }
    if (offset + size > fail_from_) return Status::kReadFailed;
    if (size != 0) std::memcpy(to, bytes_ + offset, size);
    bytes_read_ += size;
    return Status::kOk;
  }

  bool read_past_end() const { return read_past_end_; }
  std::uint64_t bytes_read() const { return bytes_read_; }

 private:
  const std::uint8_t* bytes_;
  std::size_t size_;
  std::uint64_t fail_from_;
  bool read_past_end_ = false;
  std::uint64_t bytes_read_ = 0;
};

// Keeps the bytes (or only counts them, for benchmarks); a write that would
// take the count past `fail_after` answers kWriteFailed.
class CollectingSink final : public MemberSink {
 public:
  explicit CollectingSink(bool keep = true,
                          std::uint64_t fail_after = std::numeric_limits<std::uint64_t>::max())
      : keep_(keep), fail_after_(fail_after) {}

  Status Write(const std::uint8_t* bytes, std::size_t size) noexcept override {
    if (failed_) written_after_failure_ = true;
    if (count_ + size > fail_after_) {
      failed_ = true;
      return Status::kWriteFailed;
    }
    if (keep_) bytes_.insert(bytes_.end(), bytes, bytes + size);
    count_ += size;
    return Status::kOk;
  }

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  std::uint64_t count() const { return count_; }
  bool written_after_failure() const { return written_after_failure_; }

 private:
  bool keep_;
  std::uint64_t fail_after_;
  std::vector<std::uint8_t> bytes_;
  std::uint64_t count_ = 0;
  bool failed_ = false;
  bool written_after_failure_ = false;
};

}  // namespace kzr::test
