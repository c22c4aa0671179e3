// UTF-8, the text of the library's names and paths.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kzr::utf8 {

// The length of the longest start of `text` that is at most `limit` bytes
// long and ends between two characters.
inline std::size_t CutPoint(std::string_view text, std::size_t limit) noexcept {
  if (text.size() <= limit) return text.size();
  std::size_t cut = limit;
  // A byte 10xxxxxx continues the character before it.
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return cut;
}

// The code point that starts at `at`, and how many bytes it takes; a byte
// that starts no well-formed character stands for itself (0xDC00 + byte,
// as no character does), one byte long.
char32_t Decode(std::string_view text, std::size_t at, std::size_t& length) noexcept;
void Append(char32_t code_point, std::string& out);

// Whether `text` is well-formed UTF-8.
bool IsValid(std::string_view text) noexcept;

// UTF-16, the text of Windows hosts. A byte that starts no character becomes
// U+FFFD; an unpaired surrogate makes FromUtf16 fail.
std::u16string ToUtf16(std::string_view text);
bool FromUtf16(std::u16string_view text, std::string& out);
// The length of the longest start of UTF-16 `text` that is at most `limit`
// units long and does not split a surrogate pair.
std::size_t Utf16CutPoint(std::u16string_view text, std::size_t limit) noexcept;

}  // namespace kzr::utf8
