#include "quantities.h"

#include <cstdio>

namespace kzr::cli {

std::string Plural(std::uint64_t count, std::string_view one, std::string_view many) {
  std::string text = std::to_string(count);
  text += ' ';
  text += count == 1 ? one : many;
  return text;
}

std::string HumanSize(std::uint64_t bytes) {
  static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
  if (bytes < 1024) return std::to_string(bytes) + " B";
  double value = static_cast<double>(bytes) / 1024.0;
  std::size_t unit = 0;
  // 1023.95 KiB would be shown as 1024.0 KiB: that is 1.0 MiB.
  while (value >= 1023.95 && unit + 1 < std::size(kUnits)) {
    value /= 1024.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

std::string SizeText(std::uint64_t bytes, bool human) {
  return human ? HumanSize(bytes) : std::to_string(bytes);
}

std::string SizeWords(std::uint64_t bytes, bool human) {
  return human ? HumanSize(bytes) : Plural(bytes, "byte", "bytes");
}

}  // namespace kzr::cli
