// Messages to the person at the terminal: errors always (stderr, one line,
// "kzr: " first), notes and warnings unless --quiet. Stored names are 8-bit
// strings from an archive: Printable() keeps control characters from reaching
// the terminal as they are.
#pragma once

#include <string>
#include <string_view>

namespace kzr::cli {

class Console {
 public:
  explicit Console(bool quiet) : quiet_(quiet) {}

  bool quiet() const { return quiet_; }

  void Error(const std::string& message) const;
  void Warning(const std::string& message) const;
  // Results and summaries, on stdout.
  void Note(const std::string& message) const;

 private:
  bool quiet_;
};

// The name with control characters (below 0x20, and 0x7F) shown as \xNN.
std::string Printable(std::string_view name);

}  // namespace kzr::cli
