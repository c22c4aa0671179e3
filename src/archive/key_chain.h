// The directory key chain of the masked flavour. Each record's bytes after its
// RecordLength prefix are XORed with DirectoryKeyTable[index]; the first index
// is the prefix's low nibble and every later one is the low nibble of the
// previous *stored* (masked) byte. A record therefore unmasks in place, front
// to back, from nothing but its own bytes (the directory walk does so).
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/format.h"

namespace kzr {

// Masks `size` bytes of a record whose RecordLength is `record_length` (the
// writer masks the fixed block, the name and its NUL as one run).
inline void MaskChained(std::uint8_t* bytes, std::size_t size, unsigned record_length) noexcept {
  for (std::size_t at = 0; at < size; ++at) {
    bytes[at] ^= format::kDirectoryKeyTable[(at == 0 ? record_length : bytes[at - 1]) & 0x0F];
  }
}

// Unmasks them: each byte's key is chosen by the stored byte before it.
inline void UnmaskChained(std::uint8_t* bytes, std::size_t size, unsigned record_length) noexcept {
  for (std::size_t at = 0; at < size; ++at) {
    const std::uint8_t stored = bytes[at];
    bytes[at] = stored ^ format::kDirectoryKeyTable[record_length & 0x0F];
    record_length = stored;
  }
}

}  // namespace kzr
