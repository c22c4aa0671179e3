#include "mount_tree.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <unordered_map>

#include "archive/entry_names.h"

namespace kzr::cli {
namespace {

// Why a path cannot be shown (nothing when it can). A reported name has no
// empty, "." or ".." component, unless it is empty as a whole.
std::optional<std::string> Unshowable(std::string_view path) {
  if (path.empty()) return "nothing is left of the name once it is cleaned";
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    if (end - start > MountTree::kLongestComponent) {
      return "a component is longer than " + std::to_string(MountTree::kLongestComponent) +
             " bytes";
    }
    start = end + 1;
  }
  return std::nullopt;
}

struct PathHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view path) const noexcept {
    return std::hash<std::string_view>{}(path);
  }
};

}  // namespace

MountTree::MountTree(const std::vector<Entry>& entries) {
  // Nodes by their path, "a/b", while the tree is built.
  std::unordered_map<std::string, std::uint32_t, PathHash, std::equal_to<>> by_path;
  // The node at `path`, a child of `parent` named by the last component.
  const auto add = [&](const std::string& path, std::uint32_t parent, std::uint32_t entry) {
    const auto index = static_cast<std::uint32_t>(nodes_.size());
    Node& node = nodes_.emplace_back();
    const std::size_t slash = path.rfind('/');
    node.name = slash == std::string::npos ? path : path.substr(slash + 1);
    node.entry = entry;
    node.parent = parent;
    by_path.emplace(path, index);
    nodes_[parent].children.push_back(index);
    if (entry == kNoEntry) ++nodes_[parent].folders;
    return index;
  };
  nodes_.emplace_back();
  by_path.emplace("", 0);
  // Folders first, so that a name that is some entries' folder is a folder
  // whatever order the entries come in.
  std::vector<std::string> paths(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    std::string path(entries[i].name);
    for (char& c : path) {
      if (IsNameSeparator(c)) c = '/';
    }
    if (std::optional<std::string> why = Unshowable(path)) {
      hidden_.push_back({i, std::move(*why)});
      continue;
    }
    std::uint32_t parent = 0;
    for (std::size_t slash = path.find('/'); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
      const auto found = by_path.find(std::string_view(path).substr(0, slash));
      parent = found != by_path.end() ? found->second : add(path.substr(0, slash), parent, kNoEntry);
    }
    paths[i] = std::move(path);
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string& path = paths[i];
    if (path.empty()) continue;
    if (const auto found = by_path.find(path); found != by_path.end()) {
      hidden_.push_back({i, nodes_[found->second].is_folder()
                                ? "the name is the folder of other entries, which is shown"
                                : "an entry listed before it has the same name"});
      continue;
    }
    const std::size_t slash = path.rfind('/');
    const std::uint32_t parent =
        slash == std::string::npos ? 0 : by_path.find(std::string_view(path).substr(0, slash))->second;
    add(path, parent, static_cast<std::uint32_t>(i));
  }
  std::sort(hidden_.begin(), hidden_.end(),
            [](const Hidden& a, const Hidden& b) { return a.entry < b.entry; });
  for (Node& node : nodes_) {
    std::sort(node.children.begin(), node.children.end(),
              [&](std::uint32_t a, std::uint32_t b) { return nodes_[a].name < nodes_[b].name; });
  }
}

std::uint32_t MountTree::Child(std::uint32_t folder, std::string_view name) const {
  const std::vector<std::uint32_t>& children = nodes_[folder].children;
  const auto found = std::lower_bound(
      children.begin(), children.end(), name,
      [&](std::uint32_t child, std::string_view wanted) { return nodes_[child].name < wanted; });
  return found != children.end() && nodes_[*found].name == name ? *found : kNoNode;
}

}  // namespace kzr::cli
