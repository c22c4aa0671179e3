// Glob patterns for choosing entries by stored name: `*` stands for any run
// of characters (separators included), `?` for one character; `\` and `/`
// are the same separator, and ASCII letters match without regard to case, as
// names do on Windows. A pattern that matches a leading folder of a name
// selects everything under that folder.
#pragma once

#include <string>
#include <string_view>

namespace kzr::cli {

bool GlobMatches(std::string_view pattern, std::string_view text);

// Whether `pattern` selects the entry called `name`: the whole name, or one
// of its leading folders.
bool PatternSelects(std::string_view pattern, std::string_view name);

}  // namespace kzr::cli
