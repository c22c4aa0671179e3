// The two byte-wise content masks of the masked flavour. The writer applies
// IniDatMask (names under "ini\dat\" only) and then ContentMask; the reader
// removes them in the reverse order. Both work in place over a whole member
// and depend on its length L, of which only L mod 256 enters the arithmetic.
// A length of 0 or less leaves the buffer untouched. All arithmetic is mod 256.
#pragma once

#include <cstdint>

namespace kzr {

inline constexpr std::uint8_t kContentMaskKey = 0xC6;
inline constexpr std::uint8_t kIniDatStart = 0xA9;
inline constexpr std::uint8_t kIniDatStep = 0xB3;

// ContentMask: with l = L mod 256 and a = key - l, encoding is (b ^ l) + a
// and decoding (b - a) ^ l, byte by byte.
void EncodeContentMask(std::uint8_t* buffer, std::int32_t length) noexcept;
void DecodeContentMask(std::uint8_t* buffer, std::int32_t length) noexcept;

// IniDatMask: byte i gains (encoding) or loses (decoding) a running addend r,
// which starts at IniDatStart and after byte i changes by i mod 3: +IniDatStep
// for 0, +l for 1, -(i mod 256) for 2.
void EncodeIniDatMask(std::uint8_t* buffer, std::int32_t length) noexcept;
void DecodeIniDatMask(std::uint8_t* buffer, std::int32_t length) noexcept;

// Whether a stored name begins with "ini\dat\" (ASCII letters in any case,
// every other byte exactly). Names shorter than eight characters never match.
bool IsIniDatName(const char* name) noexcept;

}  // namespace kzr
