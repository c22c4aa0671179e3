// The folders and files that a mounted archive shows: each entry's reported
// name split at its separators, a file at the end and folders made from the
// components before it. An entry that cannot be shown is left out and said
// why: an empty name, a component longer than a file system takes, a name
// that is another entry's folder (the folder is shown), or a name that an
// entry before it in listing order already shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "archive_view.h"

namespace kzr::cli {

class MountTree {
 public:
  static constexpr std::uint32_t kNoEntry = UINT32_MAX;
  static constexpr std::uint32_t kNoNode = UINT32_MAX;
  // The longest component a Linux file system takes (NAME_MAX).
  static constexpr std::size_t kLongestComponent = 255;

  struct Node {
    std::string name;                     // the last component ("" for the root)
    std::uint32_t entry = kNoEntry;       // index into the entries; kNoEntry for a folder
    std::uint32_t parent = 0;
    std::uint32_t folders = 0;            // a folder's subfolders
    std::vector<std::uint32_t> children;  // a folder's, by name
    bool is_folder() const { return entry == kNoEntry; }
  };
  struct Hidden {
    std::size_t entry;
    std::string reason;
  };

  // Builds the tree of `entries` (listing order). Throws std::bad_alloc only.
  explicit MountTree(const std::vector<Entry>& entries);

  // Nodes by index; the root is 0.
  const Node& at(std::uint32_t index) const { return nodes_[index]; }
  std::size_t size() const { return nodes_.size(); }
  // The child of the folder `folder` called `name`, or kNoNode.
  std::uint32_t Child(std::uint32_t folder, std::string_view name) const;
  const std::vector<Hidden>& hidden() const { return hidden_; }

 private:
  std::vector<Node> nodes_;
  std::vector<Hidden> hidden_;
};

}  // namespace kzr::cli
