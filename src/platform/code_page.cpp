#include "platform/code_page.h"

namespace kzr {
namespace {

// The value of an upper-case hexadecimal digit, as AppendUnconverted writes
// them, or -1.
int HexDigit(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void AppendUnconverted(unsigned char byte, std::string& out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out.append(kUnconvertedMark);
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

// The text between marks converts as it is; a mark stands for its byte. The
// result must show as the very text it came from: a conversion may map some
// characters one way only (a yen sign to `\`, two tildes to one byte), and
// such a name, stored, would be another name, or a path to another folder.
bool CodePage::ToStored(std::string_view text, std::string& out) {
  if (IsAscii(text)) {
    out.append(text);
    return true;
  }
  const std::size_t start = out.size();
  std::size_t done = 0;
  for (std::size_t at = text.find(kUnconvertedMark); at != std::string_view::npos;
       at = text.find(kUnconvertedMark, at + 1)) {
    const std::size_t digits = at + kUnconvertedMark.size();
    const int high = digits + 2 <= text.size() ? HexDigit(text[digits]) : -1;
    const int low = high >= 0 ? HexDigit(text[digits + 1]) : -1;
    if (low < 0) continue;
    if (!Encode(text.substr(done, at - done), out)) return false;
    out += static_cast<char>(high << 4 | low);
    done = digits + 2;
  }
  if (!Encode(text.substr(done), out)) return false;
  std::string shown;
  ToText(std::string_view(out).substr(start), shown);
  return shown == text;
}

bool CodePage::KeepsAscii() {
  char ascii[127];
  for (std::size_t i = 0; i < sizeof ascii; ++i) ascii[i] = static_cast<char>(i + 1);
  const std::string_view all(ascii, sizeof ascii);
  std::string there, back;
  Decode(all, there);
  return there == all && Encode(all, back) && back == all;
}

}  // namespace kzr
