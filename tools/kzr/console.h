// What the tool says, in UTF-8 (on Windows, a console gets it in UTF-16,
// whatever its code pages). Results go to stdout through one buffer written
// in large blocks (a line at a time costs a system call each); errors go to
// stderr at once, one line each, "kzr: " first, after whatever stdout holds
// so far. Notes and warnings are left out with --quiet. Names come from
// archives: Printable() keeps control characters from reaching the
// terminal.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace kzr::cli {


class Console {
 public:
  // Results go to stdout in blocks of about this size.
  static constexpr std::size_t kBlockSize = std::size_t{64} << 10;

  explicit Console(bool quiet, bool verbose = false) : quiet_(quiet), verbose_(verbose) {}
  ~Console();
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  bool quiet() const { return quiet_; }
  bool verbose() const { return verbose_ && !quiet_; }

  // Results: appended to stdout's buffer.
  void Out(std::string_view text) const;
  // Results written at once after what Out() gave before.
  void OutLines(std::string_view text) const;
  void Error(const std::string& message) const;
  void Warning(const std::string& message) const;
  // Summaries, on stdout, unless quiet.
  void Note(const std::string& message) const;
  void Flush() const;
  // After the last result: why writing to stdout failed, if it did (the
  // system's words, possibly empty).
  std::optional<std::string> OutputFailure() const;
  // For what went to stdout past the buffer: records a failed write, with
  // the system's reason as it stands.
  void NoteWriteFailed() const;
  // Whether writing failed because stdout is a pipe whose reader has gone.
  bool OutputPipeClosed() const;

 private:
  void FlushLocked() const;
  void NoteWrittenLocked(bool written) const;

  bool quiet_;
  bool verbose_;
  mutable std::mutex mutex_;  // workers of -j report from their own threads
  mutable std::string buffer_;
  mutable std::optional<std::string> output_failure_;  // the first
  mutable bool output_pipe_closed_ = false;
};

// The name with control characters (below 0x20, and 0x7F) shown as \xNN.
std::string Printable(std::string_view name);
// The same, appended to `text`, with `separator` in place of `\\`.
void AppendPrintable(std::string& text, std::string_view name, char separator = '\\');

}  // namespace kzr::cli
