#include "codec/content_mask.h"

#include <cstddef>

namespace kzr {
namespace {

// The IniDatMask addend has period 1536 in the byte index: over each group of
// three bytes starting at 3k it changes by Step + l - (3k + 2), so r(3k) is
// quadratic in k, and mod 256 that repeats after k = 512. One period is built
// per call; the mask itself is then a plain element-wise add the compiler can
// vectorise.
constexpr std::size_t kIniDatPeriod = 1536;

void FillIniDatAddends(std::uint8_t (&addends)[kIniDatPeriod], std::uint8_t l) noexcept {
  std::uint8_t r = kIniDatStart;
  for (std::size_t i = 0; i < kIniDatPeriod; ++i) {
    addends[i] = r;
    switch (i % 3) {
      case 0: r = static_cast<std::uint8_t>(r + kIniDatStep); break;
      case 1: r = static_cast<std::uint8_t>(r + l); break;
      default: r = static_cast<std::uint8_t>(r - static_cast<std::uint8_t>(i)); break;
    }
  }
}

template <bool kEncode>
void ApplyIniDatMask(std::uint8_t* buffer, std::int32_t length) noexcept {
  if (length <= 0) return;
  std::uint8_t addends[kIniDatPeriod];
  FillIniDatAddends(addends, static_cast<std::uint8_t>(length));
  std::size_t left = static_cast<std::size_t>(length);
  while (left != 0) {
    const std::size_t run = left < kIniDatPeriod ? left : kIniDatPeriod;
    for (std::size_t i = 0; i < run; ++i) {
      buffer[i] = kEncode ? static_cast<std::uint8_t>(buffer[i] + addends[i])
                          : static_cast<std::uint8_t>(buffer[i] - addends[i]);
    }
    buffer += run;
    left -= run;
  }
}

}  // namespace

void EncodeContentMask(std::uint8_t* buffer, std::int32_t length) noexcept {
  if (length <= 0) return;
  const std::uint8_t l = static_cast<std::uint8_t>(length);
  const std::uint8_t a = static_cast<std::uint8_t>(kContentMaskKey - l);
  for (std::int32_t i = 0; i < length; ++i) {
    buffer[i] = static_cast<std::uint8_t>((buffer[i] ^ l) + a);
  }
}

void DecodeContentMask(std::uint8_t* buffer, std::int32_t length) noexcept {
  if (length <= 0) return;
  const std::uint8_t l = static_cast<std::uint8_t>(length);
  const std::uint8_t a = static_cast<std::uint8_t>(kContentMaskKey - l);
  for (std::int32_t i = 0; i < length; ++i) {
    buffer[i] = static_cast<std::uint8_t>((buffer[i] - a) ^ l);
  }
}

void EncodeIniDatMask(std::uint8_t* buffer, std::int32_t length) noexcept {
  ApplyIniDatMask<true>(buffer, length);
}

void DecodeIniDatMask(std::uint8_t* buffer, std::int32_t length) noexcept {
  ApplyIniDatMask<false>(buffer, length);
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
