// Files and folders on POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/files.h"
#include "platform/system_calls.h"

namespace kzr {
namespace {

using system::kNoHandle;

int AsDescriptor(std::intptr_t handle) noexcept { return static_cast<int>(handle); }
int FolderDescriptor(std::intptr_t folder) noexcept {
  return folder == kNoHandle ? AT_FDCWD : AsDescriptor(folder);
}

FileIdentity IdentityFrom(const struct stat& info) noexcept {
  FileIdentity identity;
  identity.volume = static_cast<std::uint64_t>(info.st_dev);
  identity.file = static_cast<std::uint64_t>(info.st_ino);
  identity.size = static_cast<std::uint64_t>(info.st_size);
  identity.modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 +
                      info.st_mtim.tv_nsec;
  return identity;
}

Status Failure(Status::Code code, std::string_view path = {}) noexcept {
  return Status::System(code, errno, path);
}

FileKind KindFromMode(mode_t mode) {
  if (S_ISLNK(mode)) return FileKind::kLink;
  if (S_ISREG(mode)) return FileKind::kFile;
  if (S_ISDIR(mode)) return FileKind::kFolder;
  return FileKind::kOther;
}

std::string CurrentFolder() {
  std::string folder(PATH_MAX, '\0');
  while (getcwd(folder.data(), folder.size()) == nullptr) {
    if (errno != ERANGE) return "/";
    folder.resize(folder.size() * 2);
  }
  folder.resize(std::strlen(folder.c_str()));
  return folder;
}

}  // namespace

// --- the calls output_file.cpp makes --------------------------------------------

namespace system {

int LastError() noexcept { return errno; }
void SetLastError(int error) noexcept { errno = error; }
unsigned ProcessId() noexcept { return static_cast<unsigned>(getpid()); }
bool IsSeparator(char c) noexcept { return c == '/'; }
std::size_t LongestName() noexcept { return 255; }
std::size_t LongestPath() noexcept { return 4095; }

Status CreateNew(std::intptr_t folder, const std::string&, const std::string& name, std::intptr_t& handle) noexcept {
  const int descriptor = openat(FolderDescriptor(folder), name.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (descriptor < 0) return Failure(errno == EEXIST ? Status::kExists : Status::kCannotCreate);
  handle = descriptor;
  return Status::kOk;
}

void CopyAccess(std::intptr_t handle, const std::string& model) noexcept {
  struct stat existing{};
  if (stat(model.c_str(), &existing) != 0 || !S_ISREG(existing.st_mode)) return;
  // An archive that was private stays private. Without the right to give
  // the file away, only the owner's permissions: not a reason to fail.
  if (fchown(AsDescriptor(handle), existing.st_uid, existing.st_gid) != 0) {
  }
  (void)fchmod(AsDescriptor(handle), existing.st_mode & 07777);
}

Status WriteAll(std::intptr_t handle, const void* bytes, std::size_t size) noexcept {
  const auto* at = static_cast<const std::uint8_t*>(bytes);
  while (size != 0) {
    const ssize_t written = write(AsDescriptor(handle), at, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = ENOSPC;
      return Failure(Status::kWriteFailed);
    }
    at += written;
    size -= static_cast<std::size_t>(written);
  }
  return Status::kOk;
}

Status WriteAllAt(std::intptr_t handle, std::uint64_t offset, const void* bytes,
                  std::size_t size) noexcept {
  const ssize_t written = pwrite(AsDescriptor(handle), bytes, size, static_cast<off_t>(offset));
  if (written < 0 || static_cast<std::size_t>(written) != size) {
    if (written >= 0) errno = ENOSPC;
    return Failure(Status::kWriteFailed);
  }
  return Status::kOk;
}

Status FlushToDisk(std::intptr_t handle) noexcept {
  return fsync(AsDescriptor(handle)) == 0 ? Status::kOk : Failure(Status::kWriteFailed);
}

bool Close(std::intptr_t handle) noexcept { return close(AsDescriptor(handle)) == 0; }

bool Remove(std::intptr_t folder, const std::string&, const std::string& name) noexcept {
  return unlinkat(FolderDescriptor(folder), name.c_str(), 0) == 0;
}

Status Identify(std::intptr_t folder, const std::string&, const std::string& name, FileIdentity& identity) noexcept {
  struct stat info{};
  if (fstatat(FolderDescriptor(folder), name.c_str(), &info, 0) != 0) {
    return Failure(Status::kCannotOpen);
  }
  identity = IdentityFrom(info);
  return Status::kOk;
}

Status Rename(std::intptr_t folder, const std::string&, const std::string& from, const std::string& to, bool replace,
              ArchiveLock*) noexcept {
  const int at = FolderDescriptor(folder);
  if (replace) {
    return renameat(at, from.c_str(), at, to.c_str()) == 0 ? Status::kOk
                                                          : Failure(Status::kCannotCreate);
  }
#if defined(RENAME_NOREPLACE)
  if (renameat2(at, from.c_str(), at, to.c_str(), RENAME_NOREPLACE) == 0) return Status::kOk;
  if (errno == EEXIST) return Failure(Status::kExists);
  if (errno != EINVAL && errno != ENOSYS) return Failure(Status::kCannotCreate);
#endif
  // A file system without the flag: a new link fails when the name is taken.
  if (linkat(at, from.c_str(), at, to.c_str(), 0) != 0) {
    return Failure(errno == EEXIST ? Status::kExists : Status::kCannotCreate);
  }
  unlinkat(at, from.c_str(), 0);
  return Status::kOk;
}

}  // namespace system

// --- InputFile -----------------------------------------------------------------

Status InputFile::Open(const std::string& path) noexcept {
  // O_NONBLOCK: a named pipe without a writer opens at once instead of
  // holding the caller (a file manager, say); it is refused below.
  const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return Failure(Status::kCannotOpen, path);
  struct stat info{};
  if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
    const int error = S_ISDIR(info.st_mode) ? EISDIR : errno != 0 ? errno : EINVAL;
    close(descriptor);
    return Status::System(Status::kCannotOpen, error, path);
  }
  const int flags = fcntl(descriptor, F_GETFL);
  if (flags != -1) fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK);
  handle_ = descriptor;
  identity_ = IdentityFrom(info);
  modified_seconds_ = static_cast<std::int64_t>(info.st_mtime);
  try {
    path_ = path;
  } catch (...) {
  }
  return Status::kOk;
}

Status InputFile::ReadAt(std::uint64_t offset, void* to, std::size_t size) const noexcept {
  auto* at = static_cast<std::uint8_t*>(to);
  while (size != 0) {
    const ssize_t got = pread(AsDescriptor(handle_), at, size, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (got == 0) errno = 0;  // the file ended: no error of the system's
      return Failure(Status::kReadFailed, path_);
    }
    at += got;
    offset += static_cast<std::uint64_t>(got);
    size -= static_cast<std::size_t>(got);
  }
  return Status::kOk;
}

// --- Folder --------------------------------------------------------------------

namespace {

constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

// Makes the folder at `path` and its parents.
bool MakeFolders(const std::string& path) {
  std::string partial;
  for (std::size_t at = 0; at <= path.size(); ++at) {
    if (at == path.size() || (path[at] == '/' && at != 0)) {
      if (!partial.empty() && mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    if (at < path.size()) partial += path[at];
  }
  return true;
}

}  // namespace

Status Folder::Open(const std::string& path, Folder& folder) noexcept {
  try {
    int descriptor = open(path.c_str(), kFolderFlags);
    if (descriptor < 0 && errno == ENOENT) {
      if (!MakeFolders(path)) return Failure(Status::kCannotCreate, path);
      descriptor = open(path.c_str(), kFolderFlags);
    }
    if (descriptor < 0) return Failure(Status::kCannotOpen, path);
    folder = Folder();
    folder.handle_ = descriptor;
    folder.path_ = path;
    if (folder.path_.empty() || folder.path_.back() != '/') folder.path_ += '/';
  } catch (...) {
    return Status::kNoMemory;
  }
  return Status::kOk;
}

Status Folder::Child(std::string_view name, Folder& child) const noexcept {
  try {
    const std::string component(name);
    const std::string shown = path_ + component;
    const int parent = AsDescriptor(handle_);
    int descriptor = openat(parent, component.c_str(), kFolderFlags | O_NOFOLLOW);
    if (descriptor < 0 && errno == ENOENT) {
      if (mkdirat(parent, component.c_str(), 0777) != 0 && errno != EEXIST) {
        return Failure(Status::kCannotCreate, shown);
      }
      descriptor = openat(parent, component.c_str(), kFolderFlags | O_NOFOLLOW);
    }
    if (descriptor < 0) {
      const int error = errno;
      struct stat info{};
      if (fstatat(parent, component.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
          S_ISLNK(info.st_mode)) {
        return Status::System(Status::kCannotCreate, ELOOP, shown);  // never followed
      }
      return Status::System(error == ENOENT ? Status::kCannotOpen : Status::kCannotCreate, error,
                            shown);
    }
    struct stat info{};
    if (fstat(descriptor, &info) != 0 || !S_ISDIR(info.st_mode)) {
      close(descriptor);
      return Status::System(Status::kCannotCreate, ENOTDIR, shown);
    }
    child = Folder();
    child.handle_ = descriptor;
    child.path_ = shown + '/';
  } catch (...) {
    return Status::kNoMemory;
  }
  return Status::kOk;
}

Status Folder::KindOf(std::string_view name, FileKind& kind) const noexcept {
  struct stat info{};
  try {
    if (fstatat(AsDescriptor(handle_), std::string(name).c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) return Failure(Status::kCannotOpen, path_ + std::string(name));
      kind = FileKind::kMissing;
      return Status::kOk;
    }
  } catch (...) {
    return Status::kNoMemory;
  }
  kind = KindFromMode(info.st_mode);
  return Status::kOk;
}

// --- ArchiveLock ---------------------------------------------------------------

Status ArchiveLock::Acquire(const std::string& path, std::chrono::milliseconds wait) noexcept {
  Release();
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
      return errno == ENOENT ? Status(Status::kOk) : Failure(Status::kCannotOpen, path);
    }
    const bool locked = flock(descriptor, LOCK_EX | LOCK_NB) == 0;
    const int error = errno;
    if (locked) {
      // A writer before may have put a new archive in place while this one
      // waited: the lock must be on the file the path names now.
      struct stat held{}, named{};
      if (fstat(descriptor, &held) == 0 && stat(path.c_str(), &named) == 0 &&
          held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
        handle_ = descriptor;
        return Status::kOk;
      }
      close(descriptor);
      continue;
    }
    close(descriptor);
    if (error != EWOULDBLOCK && error != EINTR) {
      return Status::kOk;  // a file system without locks: the checks at the rename remain
    }
    if (std::chrono::steady_clock::now() >= deadline) return Status(Status::kInUse).About(path);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// --- queries -------------------------------------------------------------------

bool PathExists(const std::string& path) noexcept {
  struct stat info{};
  return lstat(path.c_str(), &info) == 0;
}

Status MayChange(const std::string& path) noexcept {
  if (access(path.c_str(), W_OK) == 0 || errno == ENOENT) return Status::kOk;
  return Failure(Status::kCannotCreate, path);
}

std::string FileBehindLinks(const std::string& path) {
  struct stat info{};
  if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  const std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr),
                                                             &std::free);
  return resolved ? std::string(resolved.get()) : path;
}

bool RemoveFile(const std::string& path) noexcept { return unlink(path.c_str()) == 0; }
bool RemoveEmptyFolder(const std::string& path) noexcept { return rmdir(path.c_str()) == 0; }

std::string SystemMessage(int system_error) { return std::strerror(system_error); }

SystemError Classify(int system_error) noexcept {
  switch (system_error) {
    case ENOENT: return SystemError::kNotFound;
    case EISDIR: return SystemError::kIsAFolder;
    case ENOTDIR: return SystemError::kNotAFolder;
    case ELOOP: return SystemError::kIsALink;
    default: return SystemError::kOther;
  }
}

std::optional<std::string> SystemRefusesName(std::string_view component) {
  if (component.size() > system::LongestName()) return std::string(std::strerror(ENAMETOOLONG));
  return std::nullopt;
}

// --- paths and folders ---------------------------------------------------------

FileKind KindOf(const std::string& path, bool follow) {
  struct stat info{};
  if ((follow ? stat(path.c_str(), &info) : lstat(path.c_str(), &info)) == 0) {
    return KindFromMode(info.st_mode);
  }
  return errno == ENOENT || errno == ENOTDIR ? FileKind::kMissing : FileKind::kOther;
}

Status ListFolder(const std::string& path, std::vector<FolderEntry>& entries) {
  entries.clear();
  DIR* folder = opendir(path.c_str());
  if (folder == nullptr) return Status::System(Status::kCannotOpen, errno, path);
  errno = 0;
  while (const dirent* entry = readdir(folder)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    // The folder's own record of each name's kind saves a stat per file.
    FileKind kind = FileKind::kOther;
    switch (entry->d_type) {
      case DT_REG: kind = FileKind::kFile; break;
      case DT_DIR: kind = FileKind::kFolder; break;
      case DT_LNK: kind = FileKind::kLink; break;
      case DT_UNKNOWN: kind = KindOf(WithTrailingSeparator(path) + name, false); break;
      default: break;
    }
    entries.push_back({name, kind});
    errno = 0;
  }
  const int error = errno;
  closedir(folder);
  return error == 0 ? Status(Status::kOk) : Status::System(Status::kReadFailed, error, path);
}

std::string AbsolutePath(const std::string& path) {
  const std::string full = !path.empty() && path[0] == '/' ? path : CurrentFolder() + "/" + path;
  std::vector<std::string> parts;
  for (std::size_t start = 0; start <= full.size();) {
    std::size_t end = full.find('/', start);
    if (end == std::string::npos) end = full.size();
    const std::string part = full.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += "/" + part;
  return result.empty() ? "/" : result;
}

std::string PathKey(std::string_view path) { return std::string(path); }

std::string TemporaryFolder() {
  const char* folder = std::getenv("TMPDIR");
  return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

}  // namespace kzr
