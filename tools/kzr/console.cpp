#include "console.h"

#include <cstdio>

#include "progress.h"

namespace kzr::cli {

void Console::Error(const std::string& message) const {
  ClearProgressLine();
  std::fflush(stdout);
  std::fprintf(stderr, "kzr: %s\n", message.c_str());
}

void Console::Warning(const std::string& message) const {
  if (quiet_) return;
  ClearProgressLine();
  std::fflush(stdout);
  std::fprintf(stderr, "kzr: warning: %s\n", message.c_str());
}

void Console::Note(const std::string& message) const {
  if (!quiet_) std::printf("%s\n", message.c_str());
}

std::string Printable(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(name.size());
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      text += "\\x";
      text += kHex[byte >> 4];
      text += kHex[byte & 0x0F];
    } else {
      text += c;
    }
  }
  return text;
}

}  // namespace kzr::cli
