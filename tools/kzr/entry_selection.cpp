#include "entry_selection.h"

#include "name_pattern.h"

namespace kzr::cli {

EntrySelection::EntrySelection(std::vector<std::string> patterns, std::vector<std::string> excludes)
    : patterns_(std::move(patterns)), excludes_(std::move(excludes)),
      matched_(std::make_unique<std::atomic<bool>[]>(patterns_.size())) {}

bool EntrySelection::Excluded(std::string_view name) const {
  for (const std::string& exclude : excludes_) {
    if (PatternSelects(exclude, name)) return true;
  }
  return false;
}

bool EntrySelection::Selects(std::string_view name) {
  bool chosen = patterns_.empty();
  for (std::size_t p = 0; p < patterns_.size(); ++p) {
    if (PatternSelects(patterns_[p], name)) {
      chosen = true;
      matched_[p].store(true, std::memory_order_relaxed);
    }
  }
  return chosen && !Excluded(name);
}

bool EntrySelection::ReportUnmatched(const Console& console, const std::string& archive) const {
  bool all = true;
  for (std::size_t p = 0; p < patterns_.size(); ++p) {
    if (matched_[p].load(std::memory_order_relaxed)) continue;
    console.Error(archive + ": no entry matches " + patterns_[p]);
    all = false;
  }
  return all;
}

}  // namespace kzr::cli
