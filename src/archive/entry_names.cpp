#include "archive/entry_names.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kzr {
namespace {

bool IsDrivePrefix(std::string_view name) noexcept {
  if (name.size() < 2 || name[1] != ':') return false;
  const char c = name[0];
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsDropped(std::string_view component) noexcept {
  return component.empty() || component == "." || component == "..";
}

}  // namespace

std::size_t ComponentEnd(std::string_view name, std::size_t start) noexcept {
  std::size_t end = start;
  while (end < name.size() && !IsNameSeparator(name[end])) ++end;
  return end;
}

bool IsCleanName(std::string_view name) noexcept {
  if (name.empty()) return true;
  if (IsDrivePrefix(name)) return false;
  for (std::size_t start = 0;;) {
    const std::size_t end = ComponentEnd(name, start);
    if (IsDropped(name.substr(start, end - start))) return false;
    if (end == name.size()) return true;
    start = end + 1;
  }
}

#if defined(__SSE2__)

namespace {

// Whether a name starts or ends so that the block test cannot tell.
inline bool NeedsExactTest(std::string_view name) noexcept {
  const char first = name.front();
  return first == '.' || IsNameSeparator(first) || IsNameSeparator(name.back()) ||
         (name.size() >= 2 && name[1] == ':');
}

}  // namespace

// 16 bytes at a time where the processor's baseline has SSE2 (x86-64): the
// listing's share of a file manager's work per entry is mostly this.
bool CopyPlainName(std::string_view stored, char* out, std::size_t capacity,
                   char separator) noexcept {
  if (stored.empty()) {
    *out = '\0';
    return true;
  }
  if (NeedsExactTest(stored)) return false;
  const __m128i backslash = _mm_set1_epi8('\\'), slash = _mm_set1_epi8('/');
  const __m128i dot = _mm_set1_epi8('.'), flip = _mm_set1_epi8(static_cast<char>('\\' ^ separator));
  const auto* name = reinterpret_cast<const std::uint8_t*>(stored.data());
  auto* field = reinterpret_cast<std::uint8_t*>(out);
  const __m128i positions = _mm_set_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  unsigned after = 0;  // 1 when the block before ended in a separator
  for (std::size_t at = 0; at < stored.size(); at += 16) {
    const std::size_t size = std::min<std::size_t>(16, stored.size() - at);
    // The bytes past the name's end are made NULs: no separators, dots or
    // other text.
    __m128i block = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(name + at)),
                                  _mm_cmplt_epi8(positions, _mm_set1_epi8(static_cast<char>(size))));
    if (_mm_movemask_epi8(block) != 0) return false;  // not ASCII
    const __m128i backslashes = _mm_cmpeq_epi8(block, backslash);
    const auto separators = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(backslashes, _mm_cmpeq_epi8(block, slash))));
    const auto dots = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, dot)));
    if (((separators << 1) | after) & (separators | dots)) return false;
    after = separators >> 15;
    block = _mm_xor_si128(block, _mm_and_si128(backslashes, flip));
    if (at + 16 <= capacity + 1) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(field + at), block);
    } else {
      alignas(16) std::uint8_t bytes[16];
      _mm_store_si128(reinterpret_cast<__m128i*>(bytes), block);
      for (std::size_t i = 0; at + i <= capacity && i < size; ++i) field[at + i] = bytes[i];
    }
  }
  out[std::min(stored.size(), capacity)] = '\0';
  return true;
}

#else

bool CopyPlainName(std::string_view stored, char* out, std::size_t capacity,
                   char separator) noexcept {
  if (!CodePage::IsAscii(stored) || !IsCleanName(stored)) return false;
  const std::size_t length = std::min(stored.size(), capacity);
  for (std::size_t at = 0; at < length; ++at) out[at] = stored[at] == '\\' ? separator : stored[at];
  out[length] = '\0';
  return true;
}

#endif

std::string CleanName(std::string_view name) {
  std::string clean;
  for (std::size_t start = 0; start <= name.size();) {
    const std::size_t end = ComponentEnd(name, start);
    std::string_view component = name.substr(start, end - start);
    // Whatever comes first must not name a drive either ("C:D:x").
    while (clean.empty() && IsDrivePrefix(component)) component.remove_prefix(2);
    if (!IsDropped(component)) {
      if (!clean.empty()) clean += kStoredSeparator;
      clean.append(component);
    }
    start = end + 1;
  }
  return clean;
}

void ReportedName(CodePage& code_page, std::string_view stored, std::string& out) {
  out.clear();
  code_page.ToText(stored, out);
  if (!IsCleanName(out)) out = CleanName(out);
}

std::string ExactKey(std::string_view name) {
  std::string key(name);
  for (char& c : key) {
    if (c == '/') c = kStoredSeparator;
  }
  return key;
}

std::string FoldedKey(std::string_view name) {
  std::string key = ExactKey(name);
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return key;
}

std::string JoinSubPath(std::string_view sub_path, std::string_view item) {
  std::string name;
  name.reserve(sub_path.size() + 1 + item.size());
  name.append(sub_path);
  if (!name.empty() && !IsNameSeparator(name.back())) name += kStoredSeparator;
  name.append(item);
  for (char& c : name) {
    if (c == '/') c = kStoredSeparator;
  }
  return name;
}

std::optional<std::string_view> WholeFolderItem(std::string_view item) noexcept {
  constexpr std::string_view kEverything = "*.*";
  if (item.size() <= kEverything.size() || !item.ends_with(kEverything)) return std::nullopt;
  const std::string_view folder = item.substr(0, item.size() - kEverything.size());
  if (!IsNameSeparator(folder.back())) return std::nullopt;
  return folder;
}

}  // namespace kzr
