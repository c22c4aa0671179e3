#include "name_pattern.h"

#include <string>

#include "base/utf8.h"

namespace kzr::cli {
namespace {

// Names and patterns are matched as characters (code points), so that `?`
// takes a letter such as `č` whole.
using Characters = std::u32string;
using CharactersView = std::u32string_view;

// `characters` keeps its memory from call to call: a selection asks for
// every entry.
void ToCharacters(std::string_view text, Characters& characters) {
  characters.clear();
  for (std::size_t at = 0, length = 0; at < text.size(); at += length) {
    characters.push_back(utf8::Decode(text, at, length));
  }
}

constexpr std::size_t kNoClass = CharactersView::npos;

char32_t Separated(char32_t c) { return c == U'/' ? U'\\' : c; }
bool IsSeparator(char32_t c) { return Separated(c) == U'\\'; }

// The small letter of a capital one, for the letters of the scripts the
// code pages of archives hold (Latin, Greek, Cyrillic); others as they are.
char32_t Lower(char32_t c) {
  if ((c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177) || (c >= 0x218 && c <= 0x21B)) {
    return c | 1;  // capitals even, small letters odd
  }
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) {
    return c % 2 == 1 ? c + 1 : c;  // capitals odd, small letters even
  }
  if (c == 0x178) return 0xFF;
  if ((c >= 0x391 && c <= 0x3AB && c != 0x3A2) || (c >= 0x410 && c <= 0x42F)) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  if (c == 0x386) return 0x3AC;
  if (c >= 0x388 && c <= 0x38A) return c + 37;
  if (c == 0x38C) return 0x3CC;
  if (c == 0x38E || c == 0x38F) return c + 63;
  return c;
}

char32_t Folded(char32_t c) { return Lower(Separated(c)); }

// The length of the class that opens at pattern[open] ('['), up to and with
// its `]`; kNoClass when it is never closed.
std::size_t ClassLength(CharactersView pattern, std::size_t open) {
  std::size_t at = open + 1;
  if (at < pattern.size() && (pattern[at] == U'!' || pattern[at] == U'^')) ++at;
  if (at < pattern.size() && pattern[at] == U']') ++at;  // a literal ']'
  while (at < pattern.size() && pattern[at] != U']') ++at;
  return at < pattern.size() ? at + 1 - open : kNoClass;
}

// Whether `c` is one of the class `body` (what lies between `[` and `]`):
// a range holds a letter when it holds it in either case.
bool ClassHolds(CharactersView body, char32_t c) {
  bool negated = false;
  if (!body.empty() && (body[0] == U'!' || body[0] == U'^')) {
    negated = true;
    body.remove_prefix(1);
  }
  const char32_t folded = Folded(c);
  bool held = false;
  for (std::size_t at = 0; at < body.size() && !held;) {
    const char32_t low = body[at];
    char32_t high = low;
    if (at + 2 < body.size() && body[at + 1] == U'-') {
      high = body[at + 2];
      at += 3;
    } else {
      at += 1;
    }
    const auto in = [&](char32_t x) { return x >= Separated(low) && x <= Separated(high); };
    held = in(Separated(c)) || in(folded) || (folded >= Folded(low) && folded <= Folded(high));
  }
  return held != negated;
}

// How much of the pattern at `p` one character `c` uses up: 0 when it does
// not match there. `p` is not at a `*`.
std::size_t MatchOne(CharactersView pattern, std::size_t p, char32_t c) {
  if (pattern[p] == U'?') return 1;
  if (pattern[p] == U'[') {
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
    if (p < pattern.size() && pattern[p] == U'*') {
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
  while (p < pattern.size() && pattern[p] == U'*') ++p;
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
