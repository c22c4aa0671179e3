#include "base/utf8.h"

namespace kzr::utf8 {

char32_t Decode(std::string_view text, std::size_t at, std::size_t& length) noexcept {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned first = byte(at);
  length = 1;
  if (first < 0x80) return first;
  std::size_t size;
  char32_t value;
  if (first >= 0xC2 && first <= 0xDF) {
    size = 2;
    value = first & 0x1F;
  } else if (first >= 0xE0 && first <= 0xEF) {
    size = 3;
    value = first & 0x0F;
  } else if (first >= 0xF0 && first <= 0xF4) {
    size = 4;
    value = first & 0x07;
  } else {
    return 0xDC00 + first;
  }
  if (at + size > text.size()) return 0xDC00 + first;
  for (std::size_t i = 1; i < size; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0xDC00 + first;
    value = value << 6 | (byte(at + i) & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are no characters.
  const char32_t smallest = size == 2 ? 0x80 : size == 3 ? 0x800 : 0x10000;
  if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return 0xDC00 + first;
  }
  length = size;
  return value;
}

void Append(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool IsValid(std::string_view text) noexcept {
  for (std::size_t at = 0, length = 0; at < text.size(); at += length) {
    const char32_t c = Decode(text, at, length);
    if (length == 1 && c >= 0xDC80 && c <= 0xDCFF) return false;
  }
  return true;
}

std::u16string ToUtf16(std::string_view text) {
  std::u16string wide;
  wide.reserve(text.size());
  for (std::size_t at = 0, length = 0; at < text.size(); at += length) {
    char32_t c = Decode(text, at, length);
    if (length == 1 && c >= 0xDC80 && c <= 0xDCFF) c = 0xFFFD;
    if (c >= 0x10000) {
      wide += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      wide += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      wide += static_cast<char16_t>(c);
    }
  }
  return wide;
}

bool FromUtf16(std::u16string_view text, std::string& out) {
  for (std::size_t at = 0; at < text.size(); ++at) {
    char32_t c = text[at];
    if (c >= 0xD800 && c <= 0xDBFF && at + 1 < text.size() && text[at + 1] >= 0xDC00 &&
        text[at + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[at + 1] - 0xDC00);
      ++at;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      return false;
    }
    Append(c, out);
  }
  return true;
}

std::size_t Utf16CutPoint(std::u16string_view text, std::size_t limit) noexcept {
  if (text.size() <= limit) return text.size();
  // A low surrogate continues the pair before it.
  return limit > 0 && text[limit] >= 0xDC00 && text[limit] <= 0xDFFF ? limit - 1 : limit;
}

}  // namespace kzr::utf8
