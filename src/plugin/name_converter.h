// Stored names and the host's names. An archive stores names as 8-bit text
// in one code page (names_setting.h); a host on Linux names files in UTF-8,
// so the Linux plugin converts at the boundary, with the C library's iconv.
// A name the host adds is converted into the code page, and refused when it
// has no form there that lists as the same name: never stored mangled. A
// stored name is converted for the host; a byte that is no character of the
// code page (one it leaves undefined) is reported as U+FFFD followed by the
// byte's two hexadecimal digits, so that the damage shows and two such names
// stay two names.
//
// A host on Windows and the stored names share the ANSI code page: there
// the converter hands names through unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "base/status.h"

#if !defined(_WIN32)
#include <iconv.h>
#endif

namespace kzr::host {

// How a listed name shows a byte that is no character of the code page:
// U+FFFD, then the byte's two hexadecimal digits (upper case).
inline constexpr std::string_view kUnconvertedMark = "\xEF\xBF\xBD";

class NameConverter {
 public:
  NameConverter() noexcept = default;
  ~NameConverter();
  NameConverter(const NameConverter&) = delete;
  NameConverter& operator=(const NameConverter&) = delete;

  // Opens the conversions for the code page the user chose (names_setting.h)
  // or for `code_page`. kOk; kUnknownCodePage when iconv knows no such code
  // page, or when it changes ASCII characters (the format's `\` and the names
  // the game looks for are ASCII); kNoMemory.
  // Throws std::bad_alloc only.
  Status Open();
  Status Open(const std::string& code_page);
  // The code page's name as it was chosen ("" on Windows).
  const std::string& code_page() const noexcept { return code_page_; }

  // Whether a stored name is the host's text as it stands: always on
  // Windows; on Linux when it holds ASCII characters only. (Asked for every
  // listed name, so defined here, to be inlined.)
  bool KeepsAsIs(const char* name, std::size_t length) const noexcept {
#if defined(_WIN32)
    (void)name;
    (void)length;
    return true;
#else
    std::size_t i = 0;
    std::uint64_t high = 0;
    for (; i + 8 <= length; i += 8) {
      std::uint64_t word;
      std::memcpy(&word, name + i, 8);
      high |= word;
    }
    for (; i < length; ++i) high |= static_cast<unsigned char>(name[i]);
    return (high & 0x8080808080808080u) == 0;
#endif
  }

  // Appends the host's text for a stored name. Throws std::bad_alloc only.
  void ToHost(std::string_view stored, std::string& out);
  // Appends the stored form of the host's text, in which U+FFFD and two
  // hexadecimal digits stand for the byte that ToHost marks so; false, with
  // `out` in no particular state, when a character has no place in the code
  // page, the text is not UTF-8, or the stored form would list as other
  // text. Throws std::bad_alloc only.
  bool ToStored(std::string_view host, std::string& out);

 private:
  std::string code_page_;
#if !defined(_WIN32)
  static inline const iconv_t kClosed = reinterpret_cast<iconv_t>(-1);
  iconv_t to_host_ = kClosed;    // code page to UTF-8
  iconv_t to_stored_ = kClosed;  // UTF-8 to code page
#endif
};

// The length of the longest start of UTF-8 text that is at most `limit`
// bytes long and ends at a character boundary.
std::size_t Utf8CutPoint(const char* text, std::size_t length, std::size_t limit) noexcept;

}  // namespace kzr::host
