#include "mount_tree.h"

#include <algorithm>
#include <optional>
#include <unordered_map>

#include "archive/entry_names.h"

namespace kzr::cli {
namespace {

// The components of a reported name, split at its separators, into
// `components` (reused from name to name).
void Split(std::string_view name, std::vector<std::string_view>& components) {
  components.clear();
  for (std::size_t start = 0;;) {
    std::size_t end = start;
    while (end < name.size() && !IsNameSeparator(name[end])) ++end;
    components.push_back(name.substr(start, end - start));
    if (end == name.size()) return;
    start = end + 1;
  }
}

// Why a name cannot be shown (nothing when it can). A reported name has no
// empty, "." or ".." component, unless it is empty as a whole.
std::optional<std::string> Unshowable(std::string_view name,
                                      const std::vector<std::string_view>& components) {
  if (name.empty()) return "nothing is left of the name once it is cleaned";
  for (const std::string_view component : components) {
    if (component.size() > MountTree::kLongestComponent) {
      return "a component is longer than " + std::to_string(MountTree::kLongestComponent) +
             " bytes";
    }
  }
  return std::nullopt;
}

}  // namespace

MountTree::MountTree(const std::vector<Entry>& entries) {
  // Nodes by their folder's index and their own name while the tree is
  // built: a deep name costs its length, not the length of each of its
  // folders' whole paths.
  std::unordered_map<std::string, std::uint32_t> by_parent;
  std::string key;
  const auto key_of = [&](std::uint32_t parent, std::string_view name) -> const std::string& {
    key.assign(reinterpret_cast<const char*>(&parent), sizeof parent);
    key.append(name);
    return key;
  };
  const auto find = [&](std::uint32_t parent, std::string_view name) {
    const auto found = by_parent.find(key_of(parent, name));
    return found == by_parent.end() ? kNoNode : found->second;
  };
  const auto add = [&](std::uint32_t parent, std::string_view name, std::uint32_t entry) {
    const auto index = static_cast<std::uint32_t>(nodes_.size());
    Node& node = nodes_.emplace_back();
    node.name = name;
    node.entry = entry;
    node.parent = parent;
    by_parent.emplace(key_of(parent, name), index);
    nodes_[parent].children.push_back(index);
    if (entry == kNoEntry) ++nodes_[parent].folders;
    return index;
  };
  nodes_.emplace_back();
  // Folders first, so that a name that is some entries' folder is a folder
  // whatever order the entries come in. Each shown entry's folder and last
  // component are kept for the files.
  struct Place {
    std::uint32_t folder = kNoNode;
    std::string_view name;
  };
  std::vector<Place> places(entries.size());
  std::vector<std::string_view> components;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    Split(entries[i].name, components);
    if (std::optional<std::string> why = Unshowable(entries[i].name, components)) {
      hidden_.push_back({i, std::move(*why)});
      continue;
    }
    std::uint32_t folder = 0;
    for (std::size_t c = 0; c + 1 < components.size(); ++c) {
      const std::uint32_t found = find(folder, components[c]);
      folder = found != kNoNode ? found : add(folder, components[c], kNoEntry);
    }
    places[i] = {folder, components.back()};
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Place& place = places[i];
    if (place.folder == kNoNode) continue;
    if (const std::uint32_t found = find(place.folder, place.name); found != kNoNode) {
      hidden_.push_back({i, nodes_[found].is_folder()
                                ? "the name is the folder of other entries, which is shown"
                                : "an entry listed before it has the same name"});
      continue;
    }
    add(place.folder, place.name, static_cast<std::uint32_t>(i));
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
