#include "plugin/host_names.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "plugin/host_interface.h"

namespace kzr::host {
namespace {

bool IsDrivePrefix(const char* name, std::size_t length) noexcept {
  if (length < 2 || name[1] != ':') return false;
  const char c = name[0];
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char Folded(char c) noexcept {
  if (c == '/') return '\\';
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;

// The top bit of every byte of `word` that equals `byte`, and no other bit.
inline std::uint64_t BytesEqual(std::uint64_t word, std::uint8_t byte) noexcept {
  const std::uint64_t x = word ^ (kOnes * byte);
  return ~(((x & kLow7) + kLow7) | x) & ~kLow7;
}

inline std::uint64_t LoadWord(const char* at) noexcept {
  std::uint64_t word;
  std::memcpy(&word, at, sizeof word);
  return word;  // little-endian targets only: byte i is bits 8i to 8i + 7
}

// The exact test, component by component, for the names the fast one doubts.
bool IsCleanNameExactly(const char* name, std::size_t length) noexcept {
  if (IsDrivePrefix(name, length)) return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = ComponentEnd({name, length}, start);
    const std::size_t size = end - start;
    if (size == 0) return false;
    if (name[start] == '.' && (size == 1 || (size == 2 && name[start + 1] == '.'))) return false;
    if (end == length) return true;
    start = end + 1;
  }
}

}  // namespace

// A name is clean when no component is empty, "." or "..", and it has no
// drive prefix. Word by word: no separator followed by a separator or a dot,
// no separator or dot first, none last; anything doubtful ("a\.x") gets the
// exact test.
bool IsCleanName(const char* name, std::size_t length, std::size_t readable) noexcept {
  if (length == 0) return true;
  // The word test below takes every `\` byte for a separator.
  if (HasLeadBytes()) return IsCleanNameExactly(name, length);
  const char first = name[0], last = name[length - 1];
  if (IsNameSeparator(last)) return false;
  if (first == '.' || IsNameSeparator(first) || (length >= 2 && name[1] == ':')) {
    return IsCleanNameExactly(name, length);
  }
  std::uint64_t after_separator = 0;
  for (std::size_t at = 0; at < length; at += 8) {
    std::uint64_t word;
    if (at + 8 <= readable) {
      word = LoadWord(name + at);
    } else {
      char bytes[8] = {};
      std::memcpy(bytes, name + at, std::min<std::size_t>(8, length - at));
      word = LoadWord(bytes);
    }
    std::uint64_t separators = BytesEqual(word, '\\') | BytesEqual(word, '/');
    std::uint64_t dots = BytesEqual(word, '.');
    if (length - at < 8) {
      const std::uint64_t inside = ~std::uint64_t{0} >> (8 * (8 - (length - at)));
      separators &= inside;
      dots &= inside;
    }
    if (((separators << 8) | after_separator) & (separators | dots)) {
      return IsCleanNameExactly(name, length);
    }
    after_separator = separators >> 56;
  }
  return true;
}

std::size_t CleanName(const char* name, std::size_t length, char* out,
                      std::size_t capacity) noexcept {
  std::size_t written = 0;
  for (std::size_t start = 0; start <= length && written < capacity;) {
    const std::size_t end = ComponentEnd({name, length}, start);
    // Whatever comes first must not name a drive either ("C:D:x").
    while (written == 0 && IsDrivePrefix(name + start, end - start)) start += 2;
    const std::size_t size = end - start;
    const bool dropped =
        size == 0 || (name[start] == '.' && (size == 1 || (size == 2 && name[start + 1] == '.')));
    if (!dropped) {
      if (written != 0) out[written++] = kStoredSeparator;
      const std::size_t kept = std::min(size, capacity - written);
      std::memmove(out + written, name + start, kept);  // out may be name itself
      written += kept;
    }
    start = end + 1;
  }
  return written;
}

void ReportedName(NameConverter& names, std::string_view stored, std::string& out) {
  out.clear();
  if (names.KeepsAsIs(stored.data(), stored.size())) {
    out.assign(stored);
  } else {
    // Converted first: in a code page of two-byte characters a `\` byte may
    // be the second half of a character, which only the conversion can tell.
    names.ToHost(stored, out);
  }
  if (!IsCleanName(out.data(), out.size())) {
    out.resize(CleanName(out.data(), out.size(), out.data(), out.size()));
  }
}

void ToHostSeparators(char* field) noexcept {
  if constexpr (kHostSeparator != kStoredSeparator) {
    // A word at a time; the field's NUL bytes are no separators.
    constexpr std::uint64_t kFlip = static_cast<std::uint8_t>(kStoredSeparator ^ kHostSeparator);
    std::size_t at = 0;
    for (; at + 8 <= kHeaderNameSize; at += 8) {
      const std::uint64_t word = LoadWord(field + at);
      if (word == 0) return;  // the rest of the field is NUL
      const std::uint64_t separators = BytesEqual(word, kStoredSeparator);
      if (separators != 0) {
        const std::uint64_t converted = word ^ ((separators >> 7) * kFlip);
        std::memcpy(field + at, &converted, sizeof converted);
      }
    }
    for (; at < kHeaderNameSize; ++at) {
      if (field[at] == kStoredSeparator) field[at] = kHostSeparator;
    }
  } else {
    (void)field;
  }
}

std::string HostNameFor(std::string_view sub_path, std::string_view item) {
  std::string name;
  name.reserve(sub_path.size() + 1 + item.size());
  name.append(sub_path);
  if (!name.empty() && !EndsWithSeparator(name)) name += kStoredSeparator;
  name.append(item);
  for (char& c : name) {
    if (c == kHostSeparator) c = kStoredSeparator;
  }
  return name;
}

std::size_t ComponentEnd(std::string_view name, std::size_t start) noexcept {
  std::size_t end = start;
  while (end < name.size() && !IsNameSeparator(name[end])) end += CharacterLength(name, end);
  return end;
}

bool EndsWithSeparator(std::string_view name) noexcept {
  return !name.empty() && AfterLastSeparator(name, IsNameSeparator) == name.size();
}

std::size_t CharacterCutPoint(std::string_view text, std::size_t limit) noexcept {
#if defined(_WIN32)
  return WholeCharacters(text, limit);
#else
  return Utf8CutPoint(text.data(), text.size(), limit);
#endif
}

std::size_t ListedLength(std::string_view reported) noexcept {
  return CharacterCutPoint(reported, kHeaderNameSize - 1);
}

std::string MemberKey(std::string_view name) {
  std::string key(name);
  for (std::size_t at = 0; at < key.size();) {
    const std::size_t size = CharacterLength(name, at);
    if (size == 1) key[at] = Folded(key[at]);  // a second byte is no letter
    at += size;
  }
  return key;
}

std::optional<std::string_view> WholeFolderItem(std::string_view item) noexcept {
  constexpr std::string_view kEverything = "*.*";
  if (item.size() <= kEverything.size() || !item.ends_with(kEverything)) return std::nullopt;
  const std::string_view folder = item.substr(0, item.size() - kEverything.size());
  if (!EndsWithSeparator(folder)) return std::nullopt;
  return folder;
}

}  // namespace kzr::host
