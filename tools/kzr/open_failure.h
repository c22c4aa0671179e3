// Why an archive could not be opened, in one line that names it: the
// plugin's answer, then the most telling reason to be had. That is what the
// file system says of the path without reading it (a folder, an empty
// file), else the system's reason for the failed open ("No such file or
// directory", "Permission denied"). A file that opened but was refused is
// explained further from its header only with the linked-in exports, whose
// acceptance rule is the core's; a loaded plugin's reasons are its own, and
// nothing is guessed for it.
#pragma once

#include <string>

namespace kzr::cli {

struct OpenFailure {
  int code = 0;        // the plugin's result code
  std::string reason;  // the system's reason, taken right after the call
};

// "ARCHIVE: cannot open (15): No such file or directory", ...
// `read_header`: the exports are the linked-in ones.
std::string DescribeOpenFailure(const std::string& archive, const OpenFailure& failure,
                                bool read_header);

}  // namespace kzr::cli
