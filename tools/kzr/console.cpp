#include "console.h"

#include <algorithm>
#include <cstdio>

#include "platform/files.h"
#include "progress.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "platform/wide_text.h"
#else
#include <cerrno>
#endif

namespace kzr::cli {
namespace {

#if defined(_WIN32)
// Text goes to a console in UTF-16, whatever its code pages, and anywhere
// else (a pipe, a file) as UTF-8 bytes, with WriteFile: the C runtime's text
// mode would write it in pieces of about a kilobyte, one call each.
bool WriteTo(DWORD which, std::string_view text, bool lines) {
  const HANDLE out = GetStdHandle(which);
  std::string converted;
  if (lines) {
    converted.reserve(text.size() + text.size() / 16);
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t end = std::min(text.find('\n', at), text.size());
      converted.append(text.substr(at, end - at));
      if (end < text.size()) converted += "\r\n";
      at = end + 1;
    }
    text = converted;
  }
  DWORD mode = 0;
  if (GetConsoleMode(out, &mode)) {
    const std::wstring wide = WideFromUtf8(text);
    for (std::size_t done = 0; done < wide.size();) {
      DWORD written = 0;
      const auto piece = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
      if (!WriteConsoleW(out, wide.data() + done, piece, &written, nullptr) || written == 0) {
        return false;
      }
      done += written;
    }
    return true;
  }
  for (std::size_t done = 0; done < text.size();) {
    DWORD written = 0;
    const auto piece = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1u << 20));
    if (!WriteFile(out, text.data() + done, piece, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

bool WriteOut(std::string_view text) {
  std::fflush(stdout);  // whatever went through the C runtime comes first
  return WriteTo(STD_OUTPUT_HANDLE, text, true);
}
void WriteError(std::string_view text) { WriteTo(STD_ERROR_HANDLE, text, true); }
int LastError() { return static_cast<int>(GetLastError()); }
bool IsClosedPipe(int error) {
  return error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA || error == ERROR_PIPE_NOT_CONNECTED;
}
#else
bool WriteOut(std::string_view bytes) {
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
  return std::fflush(stdout) == 0 && written;
}
void WriteError(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}
int LastError() { return errno; }
bool IsClosedPipe(int error) { return error == EPIPE; }
#endif

}  // namespace

Console::~Console() { Flush(); }

void Console::FlushLocked() const {
  if (buffer_.empty()) return;
  NoteWrittenLocked(WriteOut(buffer_));
  buffer_.clear();
}

void Console::NoteWriteFailed() const {
  std::lock_guard lock(mutex_);
  NoteWrittenLocked(false);
}

void Console::NoteWrittenLocked(bool written) const {
  if (!written && !output_failure_) {
    const int error = LastError();
    output_failure_ = error != 0 ? SystemMessage(error) : std::string();
    output_pipe_closed_ = IsClosedPipe(error);
  }
}

bool Console::OutputPipeClosed() const {
  std::lock_guard lock(mutex_);
  return output_pipe_closed_;
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
  NoteWrittenLocked(WriteOut(text));
}

void Console::Error(const std::string& message) const {
  std::lock_guard lock(mutex_);
  FlushLocked();
  ClearProgressLine();
  WriteError("kzr: " + message + "\n");
}

void Console::Warning(const std::string& message) const {
  if (quiet_) return;
  std::lock_guard lock(mutex_);
  FlushLocked();
  ClearProgressLine();
  WriteError("kzr: warning: " + message + "\n");
}

void Console::Note(const std::string& message) const {
  if (quiet_) return;
  Out(message);
  Out("\n");
}

void AppendPrintable(std::string& text, std::string_view name, char separator) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::size_t run = 0;  // runs of ordinary bytes go in one append
  for (std::size_t at = 0; at < name.size(); ++at) {
    const auto byte = static_cast<unsigned char>(name[at]);
    if (byte >= 0x20 && byte != 0x7F && (byte != '\\' || separator == '\\')) continue;
    text.append(name.substr(run, at - run));
    if (byte == '\\') {
      text += separator;
    } else {
      const char escape[] = {'\\', 'x', kHex[byte >> 4], kHex[byte & 0x0F]};
      text.append(escape, sizeof escape);
    }
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
