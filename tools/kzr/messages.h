// What went wrong, in the user's words: the library's status turned into a
// message once, here.
#pragma once

#include <string>

#include "base/status.h"

namespace kzr::cli {

// "not found", "is a folder, not an archive", "cannot write: No space left
// on device", ... (without the path the status concerns).
std::string Describe(const Status& status);

// "PATH: " and the description, for the path the status concerns, or for
// `fallback` when it names none.
std::string Explain(const Status& status, const std::string& fallback);

}  // namespace kzr::cli
