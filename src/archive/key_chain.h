// The directory key chain of the masked flavour. Each record's bytes after its
// RecordLength prefix are XORed with DirectoryKeyTable[index]; the first index
// is the prefix's low nibble and every later one is the low nibble of the
// previous *stored* (masked) byte. A record therefore unmasks in place, front
// to back, from nothing but its own bytes (the directory walk does so).
#pragma once

#include <cstddef>
#include <cstdint>

namespace kzr {

// The writer's side of the chain. The writer masks a record as one run: the
// fixed block, the name and its NUL. Masking is serial, as each key depends on
// the byte just stored; the index carries from one call to the next.
class KeyChain {
 public:
  explicit KeyChain(std::uint16_t record_length) noexcept
      : index_(static_cast<std::uint8_t>(record_length & 0x0F)) {}

  void Mask(std::uint8_t* bytes, std::size_t size) noexcept;

 private:
  std::uint8_t index_;
};

}  // namespace kzr
