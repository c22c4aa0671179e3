// The host's 8-bit text. On Windows it is the ANSI code page, and in the code
// pages of East Asian scripts (932, 936, 949, 950) a character may take two
// bytes: a lead byte of 0x81 or above, then a second byte that may be `\` or
// an ASCII letter. The rules that look for separators or fold letters in the
// host's text step over such characters whole. On Linux the host's text is
// UTF-8, in which no byte below 0x80 is part of another character.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace kzr::host {

#if defined(_WIN32)
// The lead bytes of the ANSI code page, read once, when the module loads.
struct LeadBytes {
  std::array<bool, 256> is_lead{};
  bool any = false;
};
extern const LeadBytes kAnsiLeadBytes;

// Whether `byte` starts a two-byte character of the ANSI code page.
inline bool IsLeadByte(unsigned char byte) noexcept { return kAnsiLeadBytes.is_lead[byte]; }
// Whether the ANSI code page has two-byte characters at all.
inline bool HasLeadBytes() noexcept { return kAnsiLeadBytes.any; }
#else
constexpr bool IsLeadByte(unsigned char) noexcept { return false; }
constexpr bool HasLeadBytes() noexcept { return false; }
#endif

// The bytes of the character that starts at `at` (inside `text`): two for a
// lead byte with a byte after it, else one.
inline std::size_t CharacterLength(std::string_view text, std::size_t at) noexcept {
  return IsLeadByte(static_cast<unsigned char>(text[at])) && at + 1 < text.size() ? 2 : 1;
}

// The length of the longest start of `text` that is at most `limit` bytes
// long and holds whole characters only.
inline std::size_t WholeCharacters(std::string_view text, std::size_t limit) noexcept {
  if (text.size() <= limit || !HasLeadBytes()) return text.size() < limit ? text.size() : limit;
  std::size_t cut = 0;
  while (cut + CharacterLength(text, cut) <= limit) cut += CharacterLength(text, cut);
  return cut;
}

// Where the part of `text` after its last separator starts (0 when there is
// none): a separator is a character of its own, never a second byte.
template <typename IsSeparator>
std::size_t AfterLastSeparator(std::string_view text, IsSeparator is_separator) noexcept {
  std::size_t after = 0;
  for (std::size_t at = 0; at < text.size(); at += CharacterLength(text, at)) {
    if (is_separator(text[at])) after = at + 1;
  }
  return after;
}

}  // namespace kzr::host
