// What to tell someone who typed a command kzr does not have: the nearest
// known name, when one is near enough to be what was meant.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kzr::cli {

// The one known name that `typed` begins, if only one does; else the known
// name closest to it by edit distance (an insertion, a deletion, a change or
// a swap of neighbours each count one), when that distance is at most a
// third of the longer word, rounded up. Nothing otherwise, and nothing for
// a single letter. Letters are compared without regard to case.
std::optional<std::string> NearestName(std::string_view typed,
                                       const std::vector<std::string>& known);

// The first argument that is no option nor an option's value: the command,
// or nothing. `valued` lists the global options that take a value in the
// next argument.
std::optional<std::string> CommandWord(int argc, const char* const* argv,
                                       const std::vector<std::string>& valued);

}  // namespace kzr::cli
