#include "console.h"

#include <cstdio>

#include "progress.h"

namespace kzr::cli {
namespace {

constexpr std::size_t kBlock = std::size_t{64} << 10;

}  // namespace

Console::~Console() { Flush(); }

void Console::FlushLocked() const {
  if (buffer_.empty()) return;
  std::fwrite(buffer_.data(), 1, buffer_.size(), stdout);
  std::fflush(stdout);
  buffer_.clear();
}

void Console::Flush() const {
  std::lock_guard lock(mutex_);
  FlushLocked();
}

void Console::Out(std::string_view text) const {
  std::lock_guard lock(mutex_);
  buffer_.append(text);
  if (buffer_.size() >= kBlock) FlushLocked();
}

void Console::Error(const std::string& message) const {
  std::lock_guard lock(mutex_);
  FlushLocked();
  ClearProgressLine();
  std::fprintf(stderr, "kzr: %s\n", message.c_str());
}

void Console::Warning(const std::string& message) const {
  if (quiet_) return;
  std::lock_guard lock(mutex_);
  FlushLocked();
  ClearProgressLine();
  std::fprintf(stderr, "kzr: warning: %s\n", message.c_str());
}

void Console::Note(const std::string& message) const {
  if (quiet_) return;
  Out(message);
  Out("\n");
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
