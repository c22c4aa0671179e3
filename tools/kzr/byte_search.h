// Finding one byte value in a buffer, eight bytes at a time. The C runtime
// that kzr.exe runs on (and wine's) searches one byte at a time, which shows
// in a listing of a million names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace kzr::cli {

// Whether any byte of `word` is zero.
inline bool HasZeroByte(std::uint64_t word) {
  return ((word - 0x0101010101010101u) & ~word & 0x8080808080808080u) != 0;
}

// The offset of the first `byte` in `text` at or after `from`; text.size()
// when there is none.
inline std::size_t FindByte(std::string_view text, char byte, std::size_t from = 0) {
  const std::uint64_t spread = 0x0101010101010101u * static_cast<unsigned char>(byte);
  std::size_t at = from;
  for (std::uint64_t word; at + 8 <= text.size(); at += 8) {
    std::memcpy(&word, text.data() + at, 8);
    if (HasZeroByte(word ^ spread)) break;
  }
  while (at < text.size() && text[at] != byte) ++at;
  return at;
}

}  // namespace kzr::cli
