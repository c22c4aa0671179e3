// Names on Windows. The plugin DLL takes names and paths in the ANSI code
// page, which is also the code page of the names it stores; the system's own
// names are UTF-16. The tool keeps its names in the ANSI code page and asks
// the system in UTF-16 (the wide API), so that it sees every name as it is.
// Going into the code page never guesses: a character it cannot hold is
// refused, never replaced by a look-alike ("best fit") or by '?', either of
// which could name another file.
//
// Elsewhere names are the system's bytes, and the arguments are taken as
// they come.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kzr::cli {

#if defined(_WIN32)

// ANSI text as UTF-16 (every ANSI string has a form there).
std::wstring WideFromAnsi(std::string_view text);

// The ANSI form of `text`, or nothing when a character has no place in the
// code page; `unfit`, when given, then names the first such character
// ("U+03A9").
std::optional<std::string> AnsiFromWide(std::wstring_view text, std::string* unfit = nullptr);

// For messages only: characters the code page cannot hold shown as '?'.
std::string ShownAnsi(std::wstring_view text);

// Why a name is refused, for messages: "U+03A9 has no place in the ANSI code page (1252)".
std::string UnfitReason(const std::string& unfit);

#endif

// The command line's arguments as the tool works with them: on Windows
// taken in UTF-16 from the C runtime and converted into the ANSI code page,
// where plain main() would get them converted with best fit.
class CommandLineArguments {
 public:
  CommandLineArguments(int argc, char** argv);

  // False (the reason already on stderr) when an argument cannot be had in
  // the ANSI code page.
  bool ok() const { return ok_; }
  int argc() const { return static_cast<int>(pointers_.size()); }
  char** argv() { return pointers_.data(); }

 private:
  bool ok_ = true;
  std::vector<std::string> arguments_;
  std::vector<char*> pointers_;
};

}  // namespace kzr::cli
