#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/paths.h"

namespace kzr {
namespace {

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
