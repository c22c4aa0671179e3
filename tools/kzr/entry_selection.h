// Which entries a command works on: those that one of the patterns selects
// (every entry when there are none) and none of the --exclude patterns does.
// It remembers which patterns selected anything, excluded or not, so that a
// pattern that matches no entry can be reported. Safe to use from several
// threads at once.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "console.h"

namespace kzr::cli {

class EntrySelection {
 public:
  EntrySelection(std::vector<std::string> patterns, std::vector<std::string> excludes);

  // Whether the entry called `name` is chosen; notes the patterns it matched.
  bool Selects(std::string_view name);

  // Says "ARCHIVE: no entry matches PATTERN" of each pattern that has
  // matched no entry so far, in the order given; whether all have matched.
  bool ReportUnmatched(const Console& console, const std::string& archive) const;

 private:
  bool Excluded(std::string_view name) const;

  std::vector<std::string> patterns_;
  std::vector<std::string> excludes_;
  std::unique_ptr<std::atomic<bool>[]> matched_;
};

}  // namespace kzr::cli
