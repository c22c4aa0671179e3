#include "archive/entry_names.h"

namespace kzr {
namespace {

bool IsDrivePrefix(std::string_view name) noexcept {
  if (name.size() < 2 || name[1] != ':') return false;
  const char c = name[0];
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsDropped(std::string_view component) noexcept {
  return component.empty() || component == "." || component == "..";
}

}  // namespace

std::size_t ComponentEnd(std::string_view name, std::size_t start) noexcept {
  std::size_t end = start;
  while (end < name.size() && !IsNameSeparator(name[end])) ++end;
  return end;
}

bool IsCleanName(std::string_view name) noexcept {
  if (name.empty()) return true;
  if (IsDrivePrefix(name)) return false;
  for (std::size_t start = 0;;) {
    const std::size_t end = ComponentEnd(name, start);
    if (IsDropped(name.substr(start, end - start))) return false;
    if (end == name.size()) return true;
    start = end + 1;
  }
}

std::string CleanName(std::string_view name) {
  std::string clean;
  for (std::size_t start = 0; start <= name.size();) {
    const std::size_t end = ComponentEnd(name, start);
    std::string_view component = name.substr(start, end - start);
    // Whatever comes first must not name a drive either ("C:D:x").
    while (clean.empty() && IsDrivePrefix(component)) component.remove_prefix(2);
    if (!IsDropped(component)) {
      if (!clean.empty()) clean += kStoredSeparator;
      clean.append(component);
    }
    start = end + 1;
  }
  return clean;
}

void ReportedName(CodePage& code_page, std::string_view stored, std::string& out) {
  out.clear();
  code_page.ToText(stored, out);
  if (!IsCleanName(out)) out = CleanName(out);
}

std::string ExactKey(std::string_view name) {
  std::string key(name);
  for (char& c : key) {
    if (c == '/') c = kStoredSeparator;
  }
  return key;
}

std::string FoldedKey(std::string_view name) {
  std::string key = ExactKey(name);
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return key;
}

std::string JoinSubPath(std::string_view sub_path, std::string_view item) {
  std::string name;
  name.reserve(sub_path.size() + 1 + item.size());
  name.append(sub_path);
  if (!name.empty() && !IsNameSeparator(name.back())) name += kStoredSeparator;
  name.append(item);
  for (char& c : name) {
    if (c == '/') c = kStoredSeparator;
  }
  return name;
}

std::optional<std::string_view> WholeFolderItem(std::string_view item) noexcept {
  constexpr std::string_view kEverything = "*.*";
  if (item.size() <= kEverything.size() || !item.ends_with(kEverything)) return std::nullopt;
  const std::string_view folder = item.substr(0, item.size() - kEverything.size());
  if (!IsNameSeparator(folder.back())) return std::nullopt;
  return folder;
}

}  // namespace kzr
