#include "platform/files.h"

namespace kzr {

bool IsPathSeparator(char c) noexcept { return c == '/' || (kIsWindows && c == '\\'); }

bool IsAbsolutePath(std::string_view path) noexcept {
  if (!path.empty() && IsPathSeparator(path[0])) return true;
  return kIsWindows && path.size() >= 2 && path[1] == ':';
}

std::optional<std::string> RelativeInside(const std::string& path, const std::string& base) {
  if (PathKey(path) == PathKey(base)) return std::string();
  const std::string prefix = WithTrailingSeparator(base);
  if (path.size() <= prefix.size() || PathKey(path.substr(0, prefix.size())) != PathKey(prefix)) {
    return std::nullopt;
  }
  return path.substr(prefix.size());
}

std::string WithTrailingSeparator(std::string path) {
  if (kIsWindows && path.size() == 2 && path[1] == ':') path = AbsolutePath(path);
  if (path.empty() || !IsPathSeparator(path.back())) path += kPathSeparator;
  return path;
}

}  // namespace kzr
