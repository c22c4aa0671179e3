// What the plugin's result codes mean, in words for one-line messages.
#pragma once

#include <string>

namespace kzr::cli {

// "cannot open (15)", "not a KZR archive (14)", ...; unknown codes are named
// by number.
std::string DescribeResult(int code);

}  // namespace kzr::cli
