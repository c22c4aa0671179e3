// Little-endian loads and stores. Every number in an archive is little-endian;
// composing them from bytes keeps unaligned access defined on every target
// (compilers make single loads and stores of them where that is allowed).
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace kzr {

inline std::uint16_t LoadU16(const std::uint8_t* p) noexcept {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t LoadU32(const std::uint8_t* p) noexcept {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline void StoreU16(std::uint8_t* p, std::uint16_t v) noexcept {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void StoreU32(std::uint8_t* p, std::uint32_t v) noexcept {
  // (Not every compiler merges the byte stores below into one.)
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &v, sizeof v);
    return;
  }
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

}  // namespace kzr
