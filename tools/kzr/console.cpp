#include "console.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "byte_search.h"
#include "progress.h"
#include "result_codes.h"

namespace kzr::cli {
namespace {

#if defined(_WIN32)
// Bytes as they are, with WriteFile: the C runtime's text mode would turn
// each "\n" into "\r\n" and write the result in pieces of about a kilobyte,
// one WriteFile each; under wine, and to a device such as NUL, each is a
// round trip.
bool WriteRaw(std::string_view bytes) {
  std::fflush(stdout);  // whatever went through the C runtime comes first
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  for (std::size_t done = 0; done < bytes.size();) {
    DWORD written = 0;
    const auto piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    if (!WriteFile(out, bytes.data() + done, piece, &written, nullptr) || written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

// Lines ending in "\n", converted here and written with one call.
bool WriteBlock(std::string_view block) {
  std::string converted;
  converted.reserve(block.size() + block.size() / 16);
  for (std::size_t start = 0; start < block.size();) {
    const std::size_t end = FindByte(block, '\n', start);
    converted.append(block.substr(start, end - start));
    if (end < block.size()) converted.append(kLineEnd);
    start = end + 1;
  }
  return WriteRaw(converted);
}
#else
bool WriteRaw(std::string_view bytes) {
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
  return std::fflush(stdout) == 0 && written;
}

bool WriteBlock(std::string_view block) { return WriteRaw(block); }
#endif

}  // namespace

Console::~Console() { Flush(); }

void Console::FlushLocked() const {
  if (buffer_.empty()) return;
  NoteWrittenLocked(WriteBlock(buffer_));
  buffer_.clear();
}

void Console::NoteWriteFailed() const {
  std::lock_guard lock(mutex_);
  NoteWrittenLocked(false);
}

void Console::NoteWrittenLocked(bool written) const {
  if (!written && !output_failure_) output_failure_ = SystemReason();
}

void Console::Flush() const {
  std::lock_guard lock(mutex_);
  FlushLocked();
}

std::optional<std::string> Console::OutputFailure() const {
  std::lock_guard lock(mutex_);
  FlushLocked();
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) NoteWrittenLocked(false);
  return output_failure_;
}

void Console::Out(std::string_view text) const {
  std::lock_guard lock(mutex_);
  buffer_.append(text);
  if (buffer_.size() >= kBlockSize) FlushLocked();
}

void Console::OutLines(std::string_view text) const {
  std::lock_guard lock(mutex_);
  FlushLocked();
  NoteWrittenLocked(WriteRaw(text));
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

// Whether any byte of `word` is below 0x20 or 0x7F (exact, not only a
// hint: the bits of one byte never borrow from its neighbours here).
bool HasControlByte(SearchWord word) {
  const SearchWord low7 = word & ~kTopBits;
  const SearchWord below_space = ~(low7 + (0x80 - 0x20) * kEveryByte) & ~word & kTopBits;
  return below_space != 0 || HasZeroByte(word ^ (0x7F * kEveryByte));
}

}  // namespace

void AppendPrintable(std::string& text, std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  // Names are nearly always free of control characters: check a word at a
  // time and append them whole.
  std::size_t clean = 0;
  for (SearchWord word; clean + sizeof word <= name.size(); clean += sizeof word) {
    std::memcpy(&word, name.data() + clean, sizeof word);
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
