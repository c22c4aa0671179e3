// Turning stored names into paths under a destination folder without ever
// leaving it. A stored name is a path relative to the archive's root with `\`
// (or `/`) between folders; a name that could point anywhere else is refused
// with the reason: an absolute name, a drive letter, an empty, "." or ".."
// component, and on Windows also characters and device names that the file
// system would reinterpret.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace kzr::cli {

struct StoredPath {
  std::vector<std::string> folders;  // from the root down
  std::string file;
};

// Splits a stored name into its components, or says why it is refused.
std::optional<StoredPath> SplitStoredName(std::string_view name, std::string& reason);

// A sub-path inside the archive ("a/b", "a\b\", ...) in the stored form:
// components joined by `\`, ending with `\`. Refused like a stored name.
std::optional<std::string> StoredPrefix(std::string_view prefix, std::string& reason);

// The destination folder of an extraction. Makes the folders an entry needs
// and refuses any that already exists as a symbolic link (or a reparse point
// on Windows), so that nothing is written outside the root through one.
class DestinationTree {
 public:
  explicit DestinationTree(std::string root);

  struct Placement {
    std::string folder;  // the entry's folder, ending with the native separator
    std::string file;    // the file name alone
  };

  // Prepares the folders for `path`; nothing (with the reason) when one of
  // them cannot be made or is a link.
  std::optional<Placement> Place(const StoredPath& path, std::string& reason);

 private:
  std::string root_;           // with a trailing separator
  std::string absolute_root_;  // for the final lexical check
  std::unordered_set<std::string> checked_;  // folders known to be real folders
};

}  // namespace kzr::cli
