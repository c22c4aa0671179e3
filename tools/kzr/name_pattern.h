// Glob patterns for choosing entries by name: `*` stands for any run of
// characters (separators included), `?` for one character, and `[...]` for
// one character of a class: listed characters and ranges (`[a-z0-9_]`), or,
// with `!` or `^` first, any character not in it; a `]` first in the class
// stands for itself, and a `[` that is never closed is a plain character.
// Patterns and names are text, matched character by character; `\` and `/`
// are the same separator, and letters match without regard to case (those
// of the Latin, Greek and Cyrillic scripts that the archives' code pages
// hold: `č` and `Č`), in classes too. A pattern
// also matches a name that it spells out exactly (so a name with `[` in it
// can be given as it is), and one that matches a leading folder of a name
// selects everything under that folder.
#pragma once

#include <string_view>

namespace kzr::cli {

// Whether `pattern` selects the entry called `name`: the whole name, or one
// of its leading folders, by the glob or spelled out.
bool PatternSelects(std::string_view pattern, std::string_view name);

}  // namespace kzr::cli
