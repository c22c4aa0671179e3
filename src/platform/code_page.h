// Stored names and text. An archive stores names as 8-bit text in one code
// page (Windows-1250 unless the user chooses another: names_setting.h); the
// library's text is UTF-8. A name is converted when it is shown, and a name
// to store is converted back, and refused when it has no form there that
// shows as the same text: never stored mangled. A stored byte that is no
// character of the code page (one it leaves undefined) shows as U+FFFD
// followed by the byte's two hexadecimal digits, so that the damage shows,
// two such names stay two names, and the mark converts back to the byte.
// The conversions are iconv's (POSIX) or the system's (Windows).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "base/status.h"

namespace kzr {

// U+FFFD, then the byte's two hexadecimal digits (upper case).
inline constexpr std::string_view kUnconvertedMark = "\xEF\xBF\xBD";

class CodePage {
 public:
  // The code page by name (any iconv knows on POSIX; on Windows "CP1250",
  // "WINDOWS-1250", "1250", "UTF-8" and the like; "ANSI" for the system's
  // ANSI code page). kUnknownCodePage when it cannot be had here, or when it
  // changes ASCII characters (the format's `\` and the names the game looks
  // for are ASCII); kNoMemory.
  static Status Open(std::string_view name, std::unique_ptr<CodePage>& code_page) noexcept;

  virtual ~CodePage() = default;
  const std::string& name() const noexcept { return name_; }

  // Whether stored bytes are their own text: ASCII only. Asked for every
  // listed name, so defined here.
  static bool IsAscii(std::string_view bytes) noexcept {
    std::size_t i = 0;
    std::uint64_t high = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
      std::uint64_t word;
      std::memcpy(&word, bytes.data() + i, 8);
      high |= word;
    }
    for (; i < bytes.size(); ++i) high |= static_cast<unsigned char>(bytes[i]);
    return (high & 0x8080808080808080u) == 0;
  }

  // Appends the text of stored bytes. Throws std::bad_alloc only.
  void ToText(std::string_view stored, std::string& out) {
    if (IsAscii(stored)) {
      out.append(stored);
    } else {
      Decode(stored, out);
    }
  }
  // The length of the longest start of stored bytes that is at most
  // `limit` bytes long and holds whole characters only.
  virtual std::size_t WholeCharacters(std::string_view stored, std::size_t limit) const noexcept {
    return stored.size() < limit ? stored.size() : limit;
  }

  // Appends the stored form of text (marks stand for their bytes); false,
  // with `out` in no particular state, when a character has no place in the
  // code page, the text is not UTF-8, or the stored form would show as
  // other text. Throws std::bad_alloc only.
  bool ToStored(std::string_view text, std::string& out);

 protected:
  explicit CodePage(std::string name) : name_(std::move(name)) {}
  // The conversions of one run of text between marks.
  virtual void Decode(std::string_view stored, std::string& out) = 0;
  virtual bool Encode(std::string_view text, std::string& out) = 0;
  // Whether the code page keeps ASCII as it is, both ways.
  bool KeepsAscii();

 private:
  std::string name_;
};

// Appends U+FFFD and the byte in hexadecimal.
void AppendUnconverted(unsigned char byte, std::string& out);

}  // namespace kzr
