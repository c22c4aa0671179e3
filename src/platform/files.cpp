// The parts of files.h that are the same on every system: handles closed
// and identities asked for alike (through the system's calls), and paths
// compared and joined.
#include <utility>

#include "platform/files.h"
#include "platform/system_calls.h"

namespace kzr {

using system::kNoHandle;

// --- handles -------------------------------------------------------------------

InputFile::~InputFile() {
  if (handle_ != kNoHandle) system::Close(handle_);
}

Folder::~Folder() {
  if (handle_ != kNoHandle) system::Close(handle_);
}

Folder::Folder(Folder&& other) noexcept
    : handle_(other.handle_), path_(std::move(other.path_)) {
  other.handle_ = kNoHandle;
}

Folder& Folder::operator=(Folder&& other) noexcept {
  if (this != &other) {
    if (handle_ != kNoHandle) system::Close(handle_);
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    other.handle_ = kNoHandle;
  }
  return *this;
}

Status Folder::IdentityOf(std::string_view name, FileIdentity& identity) const noexcept {
  try {
    return system::Identify(handle_, path_, std::string(name), identity);
  } catch (...) {
    return Status::kNoMemory;
  }
}

ArchiveLock::~ArchiveLock() { Release(); }

void ArchiveLock::Release() noexcept {
  if (handle_ != kNoHandle) system::Close(handle_);  // the lock goes with it
  handle_ = kNoHandle;
}

Status IdentityOf(const std::string& path, FileIdentity& identity) noexcept {
  Status status = system::Identify(kNoHandle, {}, path, identity);
  return status.ok() ? status : status.About(path);
}

// --- paths ---------------------------------------------------------------------

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
