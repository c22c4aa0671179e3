// Finding one byte value in a buffer, a machine word at a time. The C
// runtime that kzr.exe runs on (and wine's) searches one byte at a time,
// which shows in a listing of a million names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace kzr::cli {

// The bytes a search looks at in one step.
using SearchWord = std::uintptr_t;
inline constexpr SearchWord kEveryByte = ~SearchWord{0} / 0xFF;  // 0x01 in every byte
inline constexpr SearchWord kTopBits = kEveryByte * 0x80;

// Whether any byte of `word` is zero.
inline bool HasZeroByte(SearchWord word) { return ((word - kEveryByte) & ~word & kTopBits) != 0; }

// The offset of the first `byte` in `text` at or after `from`; text.size()
// when there is none.
inline std::size_t FindByte(std::string_view text, char byte, std::size_t from = 0) {
  const SearchWord spread = kEveryByte * static_cast<unsigned char>(byte);
  std::size_t at = from;
  for (SearchWord word; at + sizeof word <= text.size(); at += sizeof word) {
    std::memcpy(&word, text.data() + at, sizeof word);
    if (HasZeroByte(word ^ spread)) break;
  }
  while (at < text.size() && text[at] != byte) ++at;
  return at;
}

}  // namespace kzr::cli
