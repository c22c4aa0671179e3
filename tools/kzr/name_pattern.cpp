#include "name_pattern.h"

#include <cctype>

namespace kzr::cli {
namespace {

char Folded(char c) {
  if (c == '/') return '\\';
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

}  // namespace

bool GlobMatches(std::string_view pattern, std::string_view text) {
  // Iterative matching with one backtracking point: the latest `*`.
  std::size_t p = 0, t = 0;
  std::size_t star = std::string_view::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() && (pattern[p] == '?' || Folded(pattern[p]) == Folded(text[t]))) {
      ++p;
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
  if (GlobMatches(pattern, name)) return true;
  // "textures" or "textures/" selects "textures\crate.raw".
  while (!pattern.empty() && (pattern.back() == '/' || pattern.back() == '\\')) {
    pattern.remove_suffix(1);
  }
  for (std::size_t i = 0; i < name.size(); ++i) {
    if ((name[i] == '\\' || name[i] == '/') && GlobMatches(pattern, name.substr(0, i))) return true;
  }
  return false;
}

}  // namespace kzr::cli
