#include "console.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

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

namespace {

// Whether any of the 8 bytes in `word` is below 0x20 or 0x7F (exact, not
// only a hint: the bits of one byte never borrow from its neighbours here).
bool HasControlByte(std::uint64_t word) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  constexpr std::uint64_t kHigh = 0x8080808080808080u;
  const std::uint64_t low7 = word & ~kHigh;
  const std::uint64_t below_space = ~(low7 + (0x80 - 0x20) * kOnes) & ~word & kHigh;
  const std::uint64_t del = word ^ (0x7F * kOnes);
  const std::uint64_t is_del = ~((del & ~kHigh) + ~kHigh) & ~del & kHigh;
  return (below_space | is_del) != 0;
}

}  // namespace

void AppendPrintable(std::string& text, std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  // Names are nearly always free of control characters: check a word at a
  // time and append them whole.
  std::size_t clean = 0;
  for (std::uint64_t word; clean + 8 <= name.size(); clean += 8) {
    std::memcpy(&word, name.data() + clean, 8);
    if (HasControlByte(word)) break;
  }
  // Runs of ordinary bytes go in one append.
  std::size_t run = 0;
  for (std::size_t at = clean; at < name.size(); ++at) {
    const auto byte = static_cast<unsigned char>(name[at]);
    if (byte >= 0x20 && byte != 0x7F) continue;
    text.append(name.substr(run, at - run));
    const char escape[] = {'\\', 'x', kHex[byte >> 4], kHex[byte & 0x0F]};
    text.append(escape, sizeof escape);
    run = at + 1;
  }
  text.append(name.substr(run));
}

std::string Printable(std::string_view name) {
  std::string text;
  text.reserve(name.size());
  AppendPrintable(text, name);
  return text;
}

}  // namespace kzr::cli
