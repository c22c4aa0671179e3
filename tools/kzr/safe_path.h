// Turning stored names into paths under a destination folder without ever
// leaving it. A stored name is a path relative to the archive's root with `\`
// (or `/`) between folders; a name that could point anywhere else is refused
// with the reason: an absolute name, a drive letter, an empty, "." or ".."
// component, and on Windows also characters and device names that the file
// system would reinterpret.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
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
// and refuses any that exists as a symbolic link (or a reparse point on
// Windows), so that nothing is written outside the root through one; and
// keeps it so while the extraction runs, whatever else changes the tree:
// on Linux each folder is reached from the one above it through a handle
// held open (openat), and the plugin is given the folder as
// /proc/self/fd/N/, so a link planted later is never followed; on Windows
// the folders are held open without delete sharing, so none can be renamed
// or replaced until the extraction ends. Safe to use from several threads.
class DestinationTree {
 public:
  explicit DestinationTree(std::string root);
  ~DestinationTree();
  DestinationTree(const DestinationTree&) = delete;
  DestinationTree& operator=(const DestinationTree&) = delete;

  // Makes the root and its parents as needed, and opens it.
  bool Prepare(std::string& reason);

  struct Placement {
    std::string folder;  // for the plugin: the entry's folder, ending with a separator
    std::string shown;   // the same folder as the user knows it, for messages
    std::string file;    // the file name alone
    std::shared_ptr<const void> hold;  // keeps `folder` valid while the placement lives
  };

  // Prepares the folders for `path`; nothing (with the reason) when one of
  // them cannot be made or is not a real folder.
  std::optional<Placement> Place(const StoredPath& path, std::string& reason);

  // What stands at the placed file, not following a link; kUnknown, with
  // the system's reason, when the system cannot tell (a name too long).
  enum class Existing { kNothing, kFile, kLink, kOther, kUnknown };
  Existing WhatIsAt(const Placement& place, std::string& reason) const;

 private:
  struct Folders;
  std::string root_;  // with a trailing separator
  std::unique_ptr<Folders> folders_;
};
}  // namespace kzr::cli
