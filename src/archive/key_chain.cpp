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

}  // namespace kzr
