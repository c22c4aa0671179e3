#include "command_suggestion.h"

#include <algorithm>
#include <cctype>

namespace kzr::cli {
namespace {

// Optimal string alignment distance, letters without regard to case.
std::size_t EditDistance(std::string_view a, std::string_view b) {
  const auto same = [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  };
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t change = same(a[i - 1], b[j - 1]) ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
      if (i > 1 && j > 1 && same(a[i - 1], b[j - 2]) && same(a[i - 2], b[j - 1])) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

}  // namespace

std::optional<std::string> NearestName(std::string_view typed,
                                       const std::vector<std::string>& known) {
  if (typed.size() < 2) return std::nullopt;  // a letter is too little to go by
  std::vector<std::string> beginning;
  for (const std::string& name : known) {
    if (name.size() > typed.size() && EditDistance(typed, name.substr(0, typed.size())) == 0) {
      beginning.push_back(name);
    }
  }
  if (beginning.size() == 1) return beginning.front();
  std::optional<std::string> nearest;
  std::size_t best = 0;
  for (const std::string& name : known) {
    const std::size_t distance = EditDistance(typed, name);
    const std::size_t longer = std::max(typed.size(), name.size());
    if (distance > (longer + 2) / 3) continue;
    if (!nearest || distance < best) {
      nearest = name;
      best = distance;
    }
  }
  return nearest;
}

std::optional<std::string> CommandWord(int argc, const char* const* argv,
                                       const std::vector<std::string>& valued) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--") return i + 1 < argc ? std::optional<std::string>(argv[i + 1]) : std::nullopt;
    if (argument.size() > 1 && argument[0] == '-') {
      if (std::find(valued.begin(), valued.end(), argument) != valued.end()) ++i;
      continue;
    }
    return std::string(argument);
  }
  return std::nullopt;
}

}  // namespace kzr::cli
