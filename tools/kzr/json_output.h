// JSON text for the listing. Stored names are 8-bit strings in no known
// encoding, so every byte from 0x80 up is written as the escape \u00XX (the
// code point of the same number), as are control characters: the output is
// plain ASCII and always valid JSON, and a reader gets each byte back as the
// code point of its value (in Python: text.encode("latin-1")).
#pragma once

#include <string>
#include <string_view>

namespace kzr::cli {

// The bytes as a quoted JSON string.
std::string JsonString(std::string_view bytes);

}  // namespace kzr::cli
