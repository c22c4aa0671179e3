#include "name_pattern.h"

#include <cctype>

namespace kzr::cli {
namespace {

constexpr std::size_t kNoClass = std::string_view::npos;

char Separated(char c) { return c == '/' ? '\\' : c; }

char Folded(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(Separated(c))));
}

// The length of the class that opens at pattern[open] ('['), up to and with
// its `]`; kNoClass when it is never closed.
std::size_t ClassLength(std::string_view pattern, std::size_t open) {
  std::size_t at = open + 1;
  if (at < pattern.size() && (pattern[at] == '!' || pattern[at] == '^')) ++at;
  if (at < pattern.size() && pattern[at] == ']') ++at;  // a literal ']'
  while (at < pattern.size() && pattern[at] != ']') ++at;
  return at < pattern.size() ? at + 1 - open : kNoClass;
}

bool InRange(unsigned char c, char low, char high) {
  return c >= static_cast<unsigned char>(Separated(low)) &&
         c <= static_cast<unsigned char>(Separated(high));
}

// Whether `c` is one of the class `body` (what lies between `[` and `]`).
bool ClassHolds(std::string_view body, char c) {
  bool negated = false;
  if (!body.empty() && (body[0] == '!' || body[0] == '^')) {
    negated = true;
    body.remove_prefix(1);
  }
  const auto plain = static_cast<unsigned char>(Separated(c));
  const auto lower = static_cast<unsigned char>(std::tolower(plain));
  const auto upper = static_cast<unsigned char>(std::toupper(plain));
  bool held = false;
  for (std::size_t at = 0; at < body.size() && !held;) {
    const char low = body[at];
    char high = low;
    if (at + 2 < body.size() && body[at + 1] == '-') {
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
std::size_t MatchOne(std::string_view pattern, std::size_t p, char c) {
  if (pattern[p] == '?') return 1;
  if (pattern[p] == '[') {
    const std::size_t length = ClassLength(pattern, p);
    if (length != kNoClass) return ClassHolds(pattern.substr(p + 1, length - 2), c) ? length : 0;
  }
  return Folded(pattern[p]) == Folded(c) ? 1 : 0;
}

bool SpelledOut(std::string_view pattern, std::string_view text) {
  if (pattern.size() != text.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (Folded(pattern[i]) != Folded(text[i])) return false;
  }
  return true;
}

bool Matches(std::string_view pattern, std::string_view text) {
  return GlobMatches(pattern, text) || SpelledOut(pattern, text);
}

}  // namespace

bool GlobMatches(std::string_view pattern, std::string_view text) {
  // Iterative matching with one backtracking point: the latest `*`.
  std::size_t p = 0, t = 0;
  std::size_t star = std::string_view::npos, resume = 0;
  while (t < text.size()) {
    std::size_t step = 0;
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() && (step = MatchOne(pattern, p, text[t])) != 0) {
      p += step;
      ++t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool PatternSelects(std::string_view pattern, std::string_view name) {
  if (Matches(pattern, name)) return true;
  // "textures" or "textures/" selects "textures\crate.raw".
  while (!pattern.empty() && (pattern.back() == '/' || pattern.back() == '\\')) {
    pattern.remove_suffix(1);
  }
  for (std::size_t i = 0; i < name.size(); ++i) {
    if ((name[i] == '\\' || name[i] == '/') && Matches(pattern, name.substr(0, i))) return true;
  }
  return false;
}

}  // namespace kzr::cli
