#include "codec/content_mask.h"

#include <algorithm>
#include <cstdint>

namespace kzr {
namespace {

constexpr std::uint32_t kLargestLength = 0x7FFFFFFF;

// The IniDatMask addend has period 1536 in the byte index: over each group of
// three bytes starting at 3k it changes by Step + l - (3k + 2), so r(3k) is
// quadratic in k, and mod 256 that repeats after k = 512. The addends from
// the piece's start are built for at most one period; the mask itself is
// then a plain element-wise add that the compiler vectorises.
constexpr std::size_t kIniDatPeriod = 1536;

template <bool kEncode>
void ApplyIniDatMask(std::uint8_t* bytes, std::size_t size, std::uint32_t member_length,
                     std::uint64_t offset) noexcept {
  if (size == 0 || member_length == 0 || member_length > kLargestLength) return;
  const auto l = static_cast<std::uint8_t>(member_length);
  const std::size_t phase = static_cast<std::size_t>(offset % kIniDatPeriod);
  const std::size_t needed = std::min(size, kIniDatPeriod);
  std::uint8_t addends[kIniDatPeriod];
  std::uint8_t r = kIniDatStart;
  // Walk from index 0 of the period to the piece's phase, then keep what the
  // piece needs (wrapping around the period).
  for (std::size_t i = 0, kept = 0; kept < needed; ++i) {
    if (i >= phase) addends[kept++] = r;
    switch (i % 3) {
      case 0: r = static_cast<std::uint8_t>(r + kIniDatStep); break;
      case 1: r = static_cast<std::uint8_t>(r + l); break;
      default: r = static_cast<std::uint8_t>(r - static_cast<std::uint8_t>(i)); break;
    }
  }
  while (size != 0) {
    const std::size_t run = std::min(size, needed);
    for (std::size_t i = 0; i < run; ++i) {
      bytes[i] = kEncode ? static_cast<std::uint8_t>(bytes[i] + addends[i])
                         : static_cast<std::uint8_t>(bytes[i] - addends[i]);
    }
    bytes += run;
    size -= run;
  }
}

}  // namespace

void EncodeContentMask(std::uint8_t* bytes, std::size_t size, std::uint32_t member_length) noexcept {
  if (member_length == 0 || member_length > kLargestLength) return;
  const auto l = static_cast<std::uint8_t>(member_length);
  const auto a = static_cast<std::uint8_t>(kContentMaskKey - l);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>((bytes[i] ^ l) + a);
}

void DecodeContentMask(std::uint8_t* bytes, std::size_t size, std::uint32_t member_length) noexcept {
  if (member_length == 0 || member_length > kLargestLength) return;
  const auto l = static_cast<std::uint8_t>(member_length);
  const auto a = static_cast<std::uint8_t>(kContentMaskKey - l);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>((bytes[i] - a) ^ l);
}

void EncodeIniDatMask(std::uint8_t* bytes, std::size_t size, std::uint32_t member_length,
                      std::uint64_t offset) noexcept {
  ApplyIniDatMask<true>(bytes, size, member_length, offset);
}

void DecodeIniDatMask(std::uint8_t* bytes, std::size_t size, std::uint32_t member_length,
                      std::uint64_t offset) noexcept {
  ApplyIniDatMask<false>(bytes, size, member_length, offset);
}

bool IsIniDatName(const char* name) noexcept {
  static constexpr char kPrefix[] = "ini\\dat\\";
  for (std::size_t i = 0; i < sizeof kPrefix - 1; ++i) {
    char c = name[i];
    if (c == '\0') return false;
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kPrefix[i]) return false;
  }
  return true;
}

}  // namespace kzr
