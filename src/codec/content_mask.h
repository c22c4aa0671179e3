// The two byte-wise content masks of the masked flavour. The writer applies
// IniDatMask (names under "ini\dat\" only) and then ContentMask; the reader
// removes them in the reverse order. Both depend on the member's whole
// length L, of which only L mod 256 enters the arithmetic, and IniDatMask
// also on each byte's index in the member; so a member can be masked piece by
// piece, in any pieces, given where each piece starts. A length of 0, or one
// that does not fit a signed 32-bit count, leaves the bytes untouched (the
// format counts L as a signed 32-bit number). All arithmetic is mod 256.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kzr {

inline constexpr std::uint8_t kContentMaskKey = 0xC6;
inline constexpr std::uint8_t kIniDatStart = 0xA9;
inline constexpr std::uint8_t kIniDatStep = 0xB3;

// ContentMask: with l = L mod 256 and a = key - l, encoding is (b ^ l) + a
// and decoding (b - a) ^ l, byte by byte, whatever the index.
void EncodeContentMask(std::uint8_t* bytes, std::size_t size, std::uint32_t member_length) noexcept;
void DecodeContentMask(std::uint8_t* bytes, std::size_t size, std::uint32_t member_length) noexcept;

// IniDatMask: byte i gains (encoding) or loses (decoding) a running addend r,
// which starts at IniDatStart and after byte i changes by i mod 3: +IniDatStep
// for 0, +l for 1, -(i mod 256) for 2. `bytes` are the member's bytes from
// index `offset` on.
void EncodeIniDatMask(std::uint8_t* bytes, std::size_t size, std::uint32_t member_length,
                      std::uint64_t offset) noexcept;
void DecodeIniDatMask(std::uint8_t* bytes, std::size_t size, std::uint32_t member_length,
                      std::uint64_t offset) noexcept;

// Whether a stored name begins with "ini\dat\" (ASCII letters in any case,
// every other byte exactly). Names shorter than eight characters never match.
bool IsIniDatName(const char* name) noexcept;

}  // namespace kzr
