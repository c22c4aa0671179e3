#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstring>

#include "platform/paths.h"
#include "platform/wide_text.h"

namespace kzr {
namespace {

FileKind KindFromAttributes(DWORD attributes, bool links_count) {
  if (attributes == INVALID_FILE_ATTRIBUTES) return FileKind::kMissing;
  if (links_count && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return FileKind::kLink;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return FileKind::kFolder;
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return FileKind::kOther;
  return FileKind::kFile;
}

}  // namespace

FileKind KindOf(const std::string& path, bool follow) {
  const std::wstring wide = SystemPath(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FileKind::kMissing;
  if (!follow || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return KindFromAttributes(attributes, !follow);
  }
  // Follow the link: opening it opens what it leads to.
  HANDLE file = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FileKind::kMissing;
  BY_HANDLE_FILE_INFORMATION info;
  const bool known = GetFileInformationByHandle(file, &info) != 0;
  CloseHandle(file);
  return known ? KindFromAttributes(info.dwFileAttributes, false) : FileKind::kOther;
}

Status ListFolder(const std::string& path, std::vector<FolderEntry>& entries) {
  entries.clear();
  WIN32_FIND_DATAW found;
  const std::wstring pattern = SystemPath(WithTrailingSeparator(path) + "*");
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return Status::kOk;
    return Status::System(Status::kCannotOpen, static_cast<int>(error), path);
  }
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    entries.push_back({Utf8FromWide(name), KindFromAttributes(found.dwFileAttributes, true)});
  } while (FindNextFileW(search, &found));
  const DWORD error = GetLastError();
  FindClose(search);
  if (error != ERROR_NO_MORE_FILES) {
    return Status::System(Status::kReadFailed, static_cast<int>(error), path);
  }
  return Status::kOk;
}

std::string AbsolutePath(const std::string& path) {
  const std::wstring full = FullPath(WidePath(path));
  return full.empty() ? path : Utf8FromWide(full);
}

std::string TemporaryFolder() {
  wchar_t folder[MAX_PATH + 2];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  return length != 0 && length <= MAX_PATH ? Utf8FromWide(std::wstring_view(folder, length)) : ".";
}

std::string PathKey(std::string_view path) {
  // The file system compares names in UTF-16 without regard to case, for
  // every letter and not only ASCII ones: the key is the name in upper case.
  std::wstring wide = WidePath(path);
  if (!wide.empty()) CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
  return Utf8FromWide(wide);
}

}  // namespace kzr
