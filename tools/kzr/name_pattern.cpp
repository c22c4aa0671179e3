#include "name_pattern.h"

#include <cctype>
#include <string>

#include "plugin/host_code_page.h"

namespace kzr::cli {
namespace {

// Names and patterns are matched as characters: a byte, or a two-byte
// character of the ANSI code page as one unit (its lead byte high), so that
// `?` takes it whole and its second byte is never a letter or a separator.
using Characters = std::u16string;
using CharactersView = std::u16string_view;

// `characters` keeps its memory from call to call: a selection asks for
// every entry.
void ToCharacters(std::string_view text, Characters& characters) {
  characters.clear();
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t size = host::CharacterLength(text, at);
    unsigned unit = static_cast<unsigned char>(text[at]);
    if (size == 2) unit = unit << 8 | static_cast<unsigned char>(text[at + 1]);
    characters.push_back(static_cast<char16_t>(unit));
    at += size;
  }
}

constexpr std::size_t kNoClass = CharactersView::npos;

char16_t Separated(char16_t c) { return c == u'/' ? u'\\' : c; }
bool IsSeparator(char16_t c) { return Separated(c) == u'\\'; }

// Bytes as the C library cases them; two-byte characters as they are.
char16_t Lower(char16_t c) { return c < 0x100 ? static_cast<char16_t>(std::tolower(c)) : c; }
char16_t Upper(char16_t c) { return c < 0x100 ? static_cast<char16_t>(std::toupper(c)) : c; }
char16_t Folded(char16_t c) { return Lower(Separated(c)); }

// The length of the class that opens at pattern[open] ('['), up to and with
// its `]`; kNoClass when it is never closed.
std::size_t ClassLength(CharactersView pattern, std::size_t open) {
  std::size_t at = open + 1;
  if (at < pattern.size() && (pattern[at] == u'!' || pattern[at] == u'^')) ++at;
  if (at < pattern.size() && pattern[at] == u']') ++at;  // a literal ']'
  while (at < pattern.size() && pattern[at] != u']') ++at;
  return at < pattern.size() ? at + 1 - open : kNoClass;
}

bool InRange(char16_t c, char16_t low, char16_t high) {
  return c >= Separated(low) && c <= Separated(high);
}

// Whether `c` is one of the class `body` (what lies between `[` and `]`).
bool ClassHolds(CharactersView body, char16_t c) {
  bool negated = false;
  if (!body.empty() && (body[0] == u'!' || body[0] == u'^')) {
    negated = true;
    body.remove_prefix(1);
  }
  const char16_t plain = Separated(c), lower = Lower(plain), upper = Upper(plain);
  bool held = false;
  for (std::size_t at = 0; at < body.size() && !held;) {
    const char16_t low = body[at];
    char16_t high = low;
    if (at + 2 < body.size() && body[at + 1] == u'-') {
      high = body[at + 2];
      at += 3;
    } else {
      at += 1;
    }
    held = InRange(plain, low, high) || InRange(lower, low, high) || InRange(upper, low, high);
  }
  return held != negated;
}

// How much of the pattern at `p` one character `c` uses up: 0 when it does
// not match there. `p` is not at a `*`.
std::size_t MatchOne(CharactersView pattern, std::size_t p, char16_t c) {
  if (pattern[p] == u'?') return 1;
  if (pattern[p] == u'[') {
    const std::size_t length = ClassLength(pattern, p);
    if (length != kNoClass) return ClassHolds(pattern.substr(p + 1, length - 2), c) ? length : 0;
  }
  return Folded(pattern[p]) == Folded(c) ? 1 : 0;
}

bool SpelledOut(CharactersView pattern, CharactersView text) {
  if (pattern.size() != text.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (Folded(pattern[i]) != Folded(text[i])) return false;
  }
  return true;
}

bool GlobMatches(CharactersView pattern, CharactersView text) {
  // Iterative matching with one backtracking point: the latest `*`.
  std::size_t p = 0, t = 0;
  std::size_t star = CharactersView::npos, resume = 0;
  while (t < text.size()) {
    std::size_t step = 0;
    if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() && (step = MatchOne(pattern, p, text[t])) != 0) {
      p += step;
      ++t;
    } else if (star != CharactersView::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

bool Matches(CharactersView pattern, CharactersView text) {
  return GlobMatches(pattern, text) || SpelledOut(pattern, text);
}

}  // namespace

bool PatternSelects(std::string_view pattern_text, std::string_view name_text) {
  thread_local Characters whole_pattern, name;
  ToCharacters(pattern_text, whole_pattern);
  ToCharacters(name_text, name);
  CharactersView pattern = whole_pattern;
  if (Matches(pattern, name)) return true;
  // "textures" or "textures/" selects "textures\crate.raw".
  while (!pattern.empty() && IsSeparator(pattern.back())) pattern.remove_suffix(1);
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (IsSeparator(name[i]) && Matches(pattern, CharactersView(name).substr(0, i))) return true;
  }
  return false;
}

}  // namespace kzr::cli
