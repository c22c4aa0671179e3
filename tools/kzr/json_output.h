// JSON text for the listing. Names are the host's text: UTF-8 on Linux (the
// plugin converts them from the archive's code page), the ANSI code page on
// Windows. Every character from U+007F up, and every control character, is
// written as a \uXXXX escape (two for a character past U+FFFF), so the
// output is plain ASCII and always valid JSON. A byte that is no part of
// such text (from a plugin that hands stored bytes through) is written as
// \u00XX, the code point of its value.
#pragma once

#include <string>
#include <string_view>

namespace kzr::cli {

// The text as a quoted JSON string.
std::string JsonString(std::string_view text);

}  // namespace kzr::cli
