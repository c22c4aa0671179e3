#include "safe_path.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "native_fs.h"
#include "plugin/host_code_page.h"
#include "plugin/host_names.h"
#include "result_codes.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "ansi_text.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kzr::cli {
namespace {

#if defined(_WIN32)
constexpr std::size_t kLongestWindowsName = 255;

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
  for (std::size_t at = 0; at < component.size(); at += host::CharacterLength(component, at)) {
    const char c = component[at];  // a two-byte character's second byte is no such character
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || std::string_view("<>:\"|?*").find(c) != std::string_view::npos) {
      return "a character Windows does not allow in file names";
    }
  }
  if (component.back() == '.' || component.back() == ' ') {
    return "a component ending in a dot or space";
  }
  // Windows counts UTF-16 units, of which a two-byte character is one.
  if (const std::size_t length = WideFromAnsi(component).size(); length > kLongestWindowsName) {
    return "File name too long (" + std::to_string(length) + " characters; Windows " +
           "allows " + std::to_string(kLongestWindowsName) + ")";
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
  if (host::IsNameSeparator(name[0])) {
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
    const std::size_t end = host::ComponentEnd(name, start);
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
  if (host::EndsWithSeparator(prefix)) prefix.remove_suffix(1);
  std::optional<std::vector<std::string>> components = SplitComponents(prefix, reason);
  if (!components) return std::nullopt;
  std::string stored;
  for (const std::string& component : *components) stored += component + '\\';
  return stored;
}

#if defined(_WIN32)

// Every folder the tree has checked, held open so that it stays what it was.
struct DestinationTree::Folders {
  std::mutex mutex;
  std::unordered_map<std::string, HANDLE> held;

  ~Folders() {
    for (auto& [path, handle] : held) CloseHandle(handle);
  }

  // Opens the real folder at `path` (not a reparse point) and keeps it.
  bool Hold(const std::string& path, std::string& reason) {
    if (held.contains(path)) return true;
    HANDLE folder = CreateFileW(WideFromAnsi(path).c_str(), FILE_LIST_DIRECTORY,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE) {
      reason = "cannot open folder " + path + ": " + SystemReason();
      return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(folder, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      CloseHandle(folder);
      reason = "folder " + path + " is a link or not a folder";
      return false;
    }
    held.emplace(path, folder);
    return true;
  }
};

DestinationTree::DestinationTree(std::string root)
    : root_(WithTrailingSeparator(std::move(root))), folders_(std::make_unique<Folders>()) {}

DestinationTree::~DestinationTree() = default;

bool DestinationTree::Prepare(std::string& reason) {
  if (KindOfTarget(root_) != FileKind::kFolder) {
    if (const std::optional<std::string> problem = PathLimitProblem(root_, true)) {
      reason = *problem;
      return false;
    }
  }
  if (!MakeFolders(root_, reason)) return false;
  std::lock_guard lock(folders_->mutex);
  return folders_->Hold(root_, reason);
}

std::optional<DestinationTree::Placement> DestinationTree::Place(const StoredPath& path,
                                                                 std::string& reason) {
  std::lock_guard lock(folders_->mutex);
  std::string folder = root_;
  for (const std::string& component : path.folders) {
    folder += component;
    if (!folders_->held.contains(folder + kNativeSeparator)) {
      if (KindOf(folder) == FileKind::kMissing) {
        const std::optional<std::string> problem = PathLimitProblem(folder, true);
        if (problem) reason = *problem;
        if (problem || !MakeFolder(folder, reason)) {
          reason = "cannot create folder " + folder + ": " + reason;
          return std::nullopt;
        }
      }
      if (!folders_->Hold(folder + kNativeSeparator, reason)) return std::nullopt;
    }
    folder += kNativeSeparator;
  }
  return Placement{folder, folder, path.file, nullptr};
}

DestinationTree::Existing DestinationTree::WhatIsAt(const Placement& place,
                                                    std::string& reason) const {
  ClearSystemReason();
  switch (KindOf(place.shown + place.file)) {
    case FileKind::kMissing: {
      // Windows answers "not found" for names it cannot hold, too.
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return Existing::kNothing;
      reason = SystemReason();
      return Existing::kUnknown;
    }
    case FileKind::kFile: return Existing::kFile;
    case FileKind::kSymlink: return Existing::kLink;
    default: return Existing::kOther;
  }
}

#else

namespace {

// An open folder; closed when the last user lets go of it.
struct Descriptor {
  int value;
  explicit Descriptor(int descriptor) : value(descriptor) {}
  ~Descriptor() { close(value); }
};

}  // namespace

// The folders the tree has checked, each held open (O_PATH) so that the next
// one is found from it and never through a name that may have changed.
struct DestinationTree::Folders {
  static constexpr std::size_t kMostHeld = 256;

  std::mutex mutex;
  bool through_proc = false;  // /proc/self/fd names an open folder
  std::shared_ptr<const Descriptor> root;
  // Relative path with '/' -> the folder. Dropped wholesale when it grows
  // large; placements still in use keep their own folder open.
  std::unordered_map<std::string, std::shared_ptr<const Descriptor>> held;

  void Forget() { held.clear(); }

  // The folder `name` inside `parent`, made when missing; -1 with the reason.
  static int OpenInside(int parent, const std::string& name, const std::string& shown,
                        std::string& reason) {
    constexpr int kFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int folder = openat(parent, name.c_str(), kFlags);
    if (folder < 0 && errno == ENOENT) {
      if (mkdirat(parent, name.c_str(), 0777) != 0 && errno != EEXIST) {
        reason = "cannot create folder " + shown + ": " + std::strerror(errno);
        return -1;
      }
      folder = openat(parent, name.c_str(), kFlags);
    }
    if (folder >= 0) return folder;
    struct stat info{};
    if (fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode)) {
      reason = "folder " + shown + " is a symbolic link";
    } else if (errno == ENOTDIR || errno == ELOOP) {
      reason = shown + " exists and is not a folder";
    } else {
      reason = "cannot open folder " + shown + ": " + std::strerror(errno);
    }
    return -1;
  }
};

DestinationTree::DestinationTree(std::string root)
    : root_(WithTrailingSeparator(std::move(root))), folders_(std::make_unique<Folders>()) {}

DestinationTree::~DestinationTree() = default;

bool DestinationTree::Prepare(std::string& reason) {
  if (!MakeFolders(root_, reason)) return false;
  const int root = open(root_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (root < 0) {
    reason = "cannot open " + root_ + ": " + std::strerror(errno);
    return false;
  }
  folders_->root = std::make_shared<const Descriptor>(root);
  struct stat by_proc{}, by_descriptor{};
  const std::string proc = "/proc/self/fd/" + std::to_string(root);
  folders_->through_proc = stat(proc.c_str(), &by_proc) == 0 &&
                           fstat(root, &by_descriptor) == 0 &&
                           by_proc.st_ino == by_descriptor.st_ino &&
                           by_proc.st_dev == by_descriptor.st_dev;
  return true;
}

std::optional<DestinationTree::Placement> DestinationTree::Place(const StoredPath& path,
                                                                 std::string& reason) {
  std::lock_guard lock(folders_->mutex);
  if (folders_->held.size() > Folders::kMostHeld) folders_->Forget();
  std::shared_ptr<const Descriptor> parent = folders_->root;
  std::string relative, shown = root_;
  for (const std::string& component : path.folders) {
    relative += component + '/';
    shown += component;
    auto found = folders_->held.find(relative);
    if (found == folders_->held.end()) {
      const int folder = Folders::OpenInside(parent->value, component, shown, reason);
      if (folder < 0) return std::nullopt;
      found = folders_->held.emplace(relative, std::make_shared<const Descriptor>(folder)).first;
    }
    parent = found->second;
    shown += '/';
  }
  if (!folders_->through_proc) {
    // No /proc: the folders were checked just now, one by one; the plugin
    // gets their names.
    return Placement{shown, shown, path.file, parent};
  }
  return Placement{"/proc/self/fd/" + std::to_string(parent->value) + "/", shown, path.file,
                   parent};
}

DestinationTree::Existing DestinationTree::WhatIsAt(const Placement& place,
                                                    std::string& reason) const {
  struct stat info{};
  if (lstat((place.folder + place.file).c_str(), &info) != 0) {
    if (errno == ENOENT) return Existing::kNothing;
    reason = std::strerror(errno);
    return Existing::kUnknown;
  }
  if (S_ISREG(info.st_mode)) return Existing::kFile;
  if (S_ISLNK(info.st_mode)) return Existing::kLink;
  return Existing::kOther;
}

#endif

}  // namespace kzr::cli
