// The directory key chain of the masked flavour. Each record's bytes after its
// RecordLength prefix are XORed with DirectoryKeyTable[index]; the first index
// is the prefix's low nibble and every later one is the low nibble of the
// previous *stored* (masked) byte. A record therefore unmasks in place, front
// to back, from nothing but its own bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kzr {

// A chain in progress. The writer masks a record in several pieces (fixed
// block, then name and NUL), so the index carries over between calls.
class KeyChain {
 public:
  explicit KeyChain(std::uint16_t record_length) noexcept
      : index_(static_cast<std::uint8_t>(record_length & 0x0F)) {}

  void Mask(std::uint8_t* bytes, std::size_t size) noexcept;
  void Unmask(std::uint8_t* bytes, std::size_t size) noexcept;

 private:
  std::uint8_t index_;
};

// Unmasks one whole record run (the RecordLength bytes after the prefix).
void UnmaskRecord(std::uint8_t* bytes, std::size_t size, std::uint16_t record_length) noexcept;

// Unmasking reads only stored bytes, so every key of a run is known before
// any byte is written and the run can be unmasked many bytes at a time. On x86
// processors with SSSE3 a vector path does so; elsewhere the byte loop runs.
// Both are exposed so that they can be checked against each other; each
// unmasks `size` bytes starting from `index` and returns the index that would
// follow the last byte.
namespace key_chain_paths {
std::uint8_t UnmaskBytewise(std::uint8_t* bytes, std::size_t size, std::uint8_t index) noexcept;
// Whether this processor runs the vector path.
bool HasVectorUnmask() noexcept;
// Only to be called when HasVectorUnmask() is true.
std::uint8_t UnmaskVector(std::uint8_t* bytes, std::size_t size, std::uint8_t index) noexcept;
}  // namespace key_chain_paths

}  // namespace kzr
