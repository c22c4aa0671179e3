#include "safe_path.h"

#include <cctype>

#include "native_fs.h"

namespace kzr::cli {
namespace {

bool IsStoredSeparator(char c) { return c == '\\' || c == '/'; }

#if defined(_WIN32)
// Names Windows maps to devices whatever the folder or extension.
bool IsDeviceName(std::string_view component) {
  const std::string_view stem = component.substr(0, component.find('.'));
  std::string upper;
  for (const char c : stem) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  while (!upper.empty() && upper.back() == ' ') upper.pop_back();
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL" ||
      upper == "CONIN$" || upper == "CONOUT$") {
    return true;
  }
  return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
         upper[3] >= '0' && upper[3] <= '9';
}

std::optional<std::string> WindowsProblem(std::string_view component) {
  for (const char c : component) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || std::string_view("<>:\"|?*").find(c) != std::string_view::npos) {
      return "a character Windows does not allow in file names";
    }
  }
  if (component.back() == '.' || component.back() == ' ') {
    return "a component ending in a dot or space";
  }
  if (IsDeviceName(component)) return "a Windows device name";
  return std::nullopt;
}
#endif

std::optional<std::vector<std::string>> SplitComponents(std::string_view name,
                                                        std::string& reason) {
  if (name.empty()) {
    reason = "empty name";
    return std::nullopt;
  }
  if (IsStoredSeparator(name[0])) {
    reason = "absolute path";
    return std::nullopt;
  }
  if (name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':') {
    reason = "drive letter";
    return std::nullopt;
  }
  std::vector<std::string> components;
  std::size_t start = 0;
  while (true) {
    std::size_t end = start;
    while (end < name.size() && !IsStoredSeparator(name[end])) ++end;
    const std::string_view component = name.substr(start, end - start);
    if (component.empty()) {
      reason = "empty path component";
      return std::nullopt;
    }
    if (component == "." || component == "..") {
      reason = component == "." ? "'.' component" : "'..' component";
      return std::nullopt;
    }
#if defined(_WIN32)
    if (const std::optional<std::string> problem = WindowsProblem(component)) {
      reason = *problem;
      return std::nullopt;
    }
#endif
    components.emplace_back(component);
    if (end == name.size()) break;
    start = end + 1;
  }
  return components;
}

}  // namespace

std::optional<StoredPath> SplitStoredName(std::string_view name, std::string& reason) {
  std::optional<std::vector<std::string>> components = SplitComponents(name, reason);
  if (!components) return std::nullopt;
  StoredPath path;
  path.file = std::move(components->back());
  components->pop_back();
  path.folders = std::move(*components);
  return path;
}

std::optional<std::string> StoredPrefix(std::string_view prefix, std::string& reason) {
  // One trailing separator is allowed: it only says that this is a folder.
  if (!prefix.empty() && IsStoredSeparator(prefix.back())) prefix.remove_suffix(1);
  std::optional<std::vector<std::string>> components = SplitComponents(prefix, reason);
  if (!components) return std::nullopt;
  std::string stored;
  for (const std::string& component : *components) stored += component + '\\';
  return stored;
}

DestinationTree::DestinationTree(std::string root)
    : root_(WithTrailingSeparator(std::move(root))), absolute_root_(AbsolutePath(root_)) {}

std::optional<DestinationTree::Placement> DestinationTree::Place(const StoredPath& path,
                                                                 std::string& reason) {
  std::string folder = root_;
  for (const std::string& component : path.folders) {
    folder += component;
    if (!checked_.contains(folder)) {
      switch (KindOf(folder)) {
        case FileKind::kFolder:
          break;
        case FileKind::kMissing: {
          std::string error;
          if (!MakeFolder(folder, error)) {
            reason = "cannot create folder " + folder + ": " + error;
            return std::nullopt;
          }
          break;
        }
        case FileKind::kSymlink:
          reason = "folder " + folder + " is a symbolic link";
          return std::nullopt;
        default:
          reason = folder + " exists and is not a folder";
          return std::nullopt;
      }
      checked_.insert(folder);
    }
    folder += kNativeSeparator;
  }
  // The components were checked one by one; this is the last word.
  if (!RelativeInside(AbsolutePath(folder + path.file), absolute_root_)) {
    reason = "the path leads outside " + root_;
    return std::nullopt;
  }
  return Placement{std::move(folder), path.file};
}

}  // namespace kzr::cli
