#include "archive/key_chain.h"

#include "archive/format.h"

namespace kzr {

void KeyChain::Mask(std::uint8_t* bytes, std::size_t size) noexcept {
  std::uint8_t index = index_;
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint8_t stored = bytes[i] ^ format::kDirectoryKeyTable[index];
    bytes[i] = stored;
    index = stored & 0x0F;
  }
  index_ = index;
}

void KeyChain::Unmask(std::uint8_t* bytes, std::size_t size) noexcept {
  // The index comes from the stored byte, which is read before it is
  // overwritten: no value computed in one step feeds the next.
  std::uint8_t index = index_;
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint8_t stored = bytes[i];
    bytes[i] = stored ^ format::kDirectoryKeyTable[index];
    index = stored & 0x0F;
  }
  index_ = index;
}

void UnmaskRecord(std::uint8_t* bytes, std::size_t size, std::uint16_t record_length) noexcept {
  KeyChain(record_length).Unmask(bytes, size);
}

}  // namespace kzr
