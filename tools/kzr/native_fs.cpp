#include "native_fs.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "plugin/host_code_page.h"
#include "result_codes.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "ansi_text.h"
#else
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kzr::cli {

#if defined(_WIN32)

namespace {

// The system's words for an error code.
std::string WindowsError(DWORD code) {
  SetLastError(code);
  return SystemReason();
}

FileKind KindFromAttributes(DWORD attributes, bool links_count) {
  if (attributes == INVALID_FILE_ATTRIBUTES) return FileKind::kMissing;
  if (links_count && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return FileKind::kSymlink;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return FileKind::kFolder;
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return FileKind::kOther;
  return FileKind::kFile;
}

// The path made absolute; as it was when the result has no ANSI form (a
// current folder whose name the code page cannot hold).
std::string FullPath(const std::string& path) {
  const std::wstring wide = WideFromAnsi(path);
  const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return path;
  full.resize(length);
  return AnsiFromWide(full).value_or(path);
}

DWORD AttributesOf(const std::string& path) {
  return GetFileAttributesW(WideFromAnsi(path).c_str());
}

}  // namespace

FileKind KindOf(const std::string& path) { return KindFromAttributes(AttributesOf(path), true); }

FileKind KindOfTarget(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return FileKind::kMissing;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return KindFromAttributes(attributes, false);
  // Follow the link: opening it opens what it leads to.
  HANDLE file = CreateFileW(WideFromAnsi(path).c_str(), 0,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FileKind::kMissing;
  BY_HANDLE_FILE_INFORMATION info;
  const bool known = GetFileInformationByHandle(file, &info) != 0;
  CloseHandle(file);
  return known ? KindFromAttributes(info.dwFileAttributes, false) : FileKind::kOther;
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(WideFromAnsi(path).c_str(), GetFileExInfoStandard, &data)) {
    return std::nullopt;
  }
  return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

bool MakeFolder(const std::string& path, std::string& error) {
  if (CreateDirectoryW(WideFromAnsi(path).c_str(), nullptr)) return true;
  error = WindowsError(GetLastError());
  return false;
}

std::optional<std::vector<FolderEntry>> ListFolder(const std::string& path, std::string& error) {
  WIN32_FIND_DATAW found;
  const std::wstring pattern = WideFromAnsi(WithTrailingSeparator(path).append("*"));
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND) return std::vector<FolderEntry>{};
    error = WindowsError(code);
    return std::nullopt;
  }
  std::vector<FolderEntry> names;
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    FolderEntry entry{{}, KindFromAttributes(found.dwFileAttributes, true), {}};
    std::string unfit;
    if (std::optional<std::string> ansi = AnsiFromWide(name, &unfit)) {
      entry.name = std::move(*ansi);
    } else {
      entry.name = ShownAnsi(name);
      entry.unfit = UnfitReason(unfit);
    }
    names.push_back(std::move(entry));
  } while (FindNextFileW(search, &found));
  const DWORD code = GetLastError();
  FindClose(search);
  if (code != ERROR_NO_MORE_FILES) {
    error = WindowsError(code);
    return std::nullopt;
  }
  return names;
}

std::string AbsolutePath(const std::string& path) { return FullPath(path); }

bool SameFile(const std::string& a, const std::string& b) {
  const auto identity = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE file = CreateFileW(WideFromAnsi(path).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool known = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    return known;
  };
  BY_HANDLE_FILE_INFORMATION first, second;
  return identity(a, first) && identity(b, second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

bool MoveOver(const std::string& from, const std::string& to, std::string& error) {
  if (MoveFileExW(WideFromAnsi(from).c_str(), WideFromAnsi(to).c_str(),
                  MOVEFILE_REPLACE_EXISTING)) {
    return true;
  }
  error = WindowsError(GetLastError());
  return false;
}

bool RemoveFile(const std::string& path) { return DeleteFileW(WideFromAnsi(path).c_str()) != 0; }

static bool RemoveEmptyFolder(const std::string& path) {
  return RemoveDirectoryA(path.c_str()) != 0;
}

std::optional<std::string> MakePrivateFolder(const std::string& stem, std::string& error) {
  char temporary[MAX_PATH + 1];
  const DWORD length = GetTempPathA(sizeof temporary, temporary);
  if (length == 0 || length > MAX_PATH) {
    error = SystemReason();
    return std::nullopt;
  }
  // The folder inherits the ACL of the user's own temporary folder.
  for (unsigned attempt = 0;; ++attempt) {
    const std::string path = WithTrailingSeparator(temporary) + stem + std::to_string(attempt);
    if (CreateDirectoryA(path.c_str(), nullptr)) return WithTrailingSeparator(path);
    if (GetLastError() != ERROR_ALREADY_EXISTS || attempt == 100) {
      error = SystemReason();
      return std::nullopt;
    }
  }
}

std::optional<std::string> CanonicalPath(const std::string& path) { return FullPath(path); }

std::string PathKey(const std::string& path) {
  // The file system compares names in UTF-16 without regard to case, for
  // every letter and not only ASCII ones: the key is the name in upper case,
  // a UTF-16 unit to each two bytes.
  std::wstring wide = WideFromAnsi(path);
  std::replace(wide.begin(), wide.end(), L'/', L'\\');
  if (!wide.empty()) CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
  std::string key(wide.size() * sizeof(wchar_t), '\0');
  std::memcpy(key.data(), wide.data(), key.size());
  return key;
}

#else  // POSIX

namespace {

FileKind KindFromMode(mode_t mode) {
  if (S_ISLNK(mode)) return FileKind::kSymlink;
  if (S_ISREG(mode)) return FileKind::kFile;
  if (S_ISDIR(mode)) return FileKind::kFolder;
  return FileKind::kOther;
}

FileKind KindFromResult(int result, const struct stat& info) {
  if (result == 0) return KindFromMode(info.st_mode);
  return errno == ENOENT || errno == ENOTDIR ? FileKind::kMissing : FileKind::kOther;
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

FileKind KindOf(const std::string& path) {
  struct stat info{};
  const int result = lstat(path.c_str(), &info);
  return KindFromResult(result, info);
}

FileKind KindOfTarget(const std::string& path) {
  struct stat info{};
  const int result = stat(path.c_str(), &info);
  return KindFromResult(result, info);
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
  struct stat info{};
  if (stat(path.c_str(), &info) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(info.st_size);
}

bool MakeFolder(const std::string& path, std::string& error) {
  if (mkdir(path.c_str(), 0777) == 0) return true;
  error = std::strerror(errno);
  return false;
}

std::optional<std::vector<FolderEntry>> ListFolder(const std::string& path, std::string& error) {
  DIR* folder = opendir(path.c_str());
  if (folder == nullptr) {
    error = std::strerror(errno);
    return std::nullopt;
  }
  std::vector<FolderEntry> names;
  errno = 0;
  while (const dirent* entry = readdir(folder)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    // The folder's own record of each name's kind saves a stat per file.
    FileKind kind = FileKind::kOther;
    switch (entry->d_type) {
      case DT_REG: kind = FileKind::kFile; break;
      case DT_DIR: kind = FileKind::kFolder; break;
      case DT_LNK: kind = FileKind::kSymlink; break;
      case DT_UNKNOWN: kind = KindOf(WithTrailingSeparator(path) + name); break;
      default: break;
    }
    names.push_back({name, kind, {}});
    errno = 0;
  }
  const int code = errno;
  closedir(folder);
  if (code != 0) {
    error = std::strerror(code);
    return std::nullopt;
  }
  return names;
}

std::string AbsolutePath(const std::string& path) {
  const std::string full = !path.empty() && path[0] == '/' ? path : CurrentFolder() + "/" + path;
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= full.size()) {
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

std::optional<std::string> CanonicalPath(const std::string& path) {
  if (char* resolved = realpath(path.c_str(), nullptr)) {
    std::string result = resolved;
    std::free(resolved);
    return result;
  }
  if (errno != ENOENT) return std::nullopt;
  // A file still to be made: resolve its folder.
  const std::string absolute = AbsolutePath(path);
  const std::size_t slash = absolute.rfind('/');
  const std::string folder = slash == 0 ? "/" : absolute.substr(0, slash);
  char* resolved = realpath(folder.c_str(), nullptr);
  if (resolved == nullptr) return std::nullopt;
  std::string result = resolved;
  std::free(resolved);
  return WithTrailingSeparator(result) + absolute.substr(slash + 1);
}

std::string PathKey(const std::string& path) { return path; }

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first{}, second{};
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool MoveOver(const std::string& from, const std::string& to, std::string& error) {
  if (rename(from.c_str(), to.c_str()) == 0) return true;
  error = std::strerror(errno);
  return false;
}

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

static bool RemoveEmptyFolder(const std::string& path) { return rmdir(path.c_str()) == 0; }

std::optional<std::string> MakePrivateFolder(const std::string& stem, std::string& error) {
  const char* from_environment = std::getenv("TMPDIR");
  const std::string temporary =
      from_environment != nullptr && *from_environment != '\0' ? from_environment : "/tmp";
  std::string pattern = WithTrailingSeparator(temporary) + stem + "XXXXXX";
  // mkdtemp makes it with mode 0700.
  if (mkdtemp(pattern.data()) == nullptr) {
    error = std::strerror(errno);
    return std::nullopt;
  }
  return WithTrailingSeparator(pattern);
}

#endif

void RemoveFolderOfFiles(const std::string& path) {
  std::string error;
  if (const auto entries = ListFolder(path, error)) {
    for (const FolderEntry& entry : *entries) RemoveFile(WithTrailingSeparator(path) + entry.name);
  }
  RemoveEmptyFolder(path);
}

bool MakeFolders(const std::string& path, std::string& error) {
  if (KindOfTarget(path) == FileKind::kFolder) return true;
  // Every prefix that ends before a separator, then the whole path.
  for (std::size_t i = 0; i < path.size();) {
    const std::size_t last = i;  // where the prefix's last character starts
    i += host::CharacterLength(path, i);
    if (i < path.size() && !IsNativeSeparator(path[i])) continue;
    const std::string prefix = path.substr(0, i);
#if defined(_WIN32)
    if (prefix.size() == 2 && prefix[1] == ':') continue;  // a drive
#endif
    if (last + 1 == i && IsNativeSeparator(path[last])) continue;
    if (KindOfTarget(prefix) == FileKind::kFolder) continue;
    if (!MakeFolder(prefix, error)) return false;
  }
  return true;
}

std::optional<std::string> PathLimitProblem(const std::string& path, bool folder) {
#if defined(_WIN32)
  // The limit holds for the whole path, the current folder's part included.
  // Windows counts UTF-16 units, of which a two-byte character is one.
  const std::string full = FullPath(path);
  std::size_t length = WideFromAnsi(full).size();
  if (!IsAbsolutePath(full)) length += GetCurrentDirectoryW(0, nullptr);
  // A folder leaves room for a file name of 8.3 characters.
  const std::size_t longest = folder ? MAX_PATH - 13 : MAX_PATH - 1;
  if (length > longest) {
    return "the path is " + std::to_string(length) + " characters long, and Windows allows " +
           "kzr.exe " + std::to_string(longest) + (folder ? " for a folder" : "") +
           " (MAX_PATH)";
  }
#else
  (void)path;
  (void)folder;
#endif
  return std::nullopt;
}

bool IsAbsolutePath(const std::string& path) {
  if (!path.empty() && IsNativeSeparator(path[0])) return true;
#if defined(_WIN32)
  if (path.size() >= 2 && path[1] == ':') return true;
#endif
  return false;
}

std::optional<std::string> RelativeInside(const std::string& path, const std::string& base) {
  if (SamePath(path, base)) return std::string();
  const std::string prefix = WithTrailingSeparator(base);
  if (path.size() <= prefix.size() || !SamePath(path.substr(0, prefix.size()), prefix)) {
    return std::nullopt;
  }
  return path.substr(prefix.size());
}

std::string WithTrailingSeparator(std::string path) {
#if defined(_WIN32)
  if (path.size() == 2 && path[1] == ':') path = AbsolutePath(path);
#endif
  if (!EndsWithNativeSeparator(path)) path += kNativeSeparator;
  return path;
}

bool EndsWithNativeSeparator(std::string_view path) {
  return !path.empty() && host::AfterLastSeparator(path, IsNativeSeparator) == path.size();
}

std::string FolderPart(const std::string& path) {
  std::size_t end = host::AfterLastSeparator(path, IsNativeSeparator);
#if defined(_WIN32)
  if (end == 0 && path.size() >= 2 && path[1] == ':') end = 2;
#endif
  return path.substr(0, end);
}

std::string FolderOf(const std::string& path) {
  const std::string folder = FolderPart(path);
  return folder.empty() ? std::string(".") + kNativeSeparator : WithTrailingSeparator(folder);
}

}  // namespace kzr::cli
