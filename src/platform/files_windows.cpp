// Files and folders on Windows: every path goes to the wide (UTF-16) calls,
// in the long form ("\\?\") where it passes what the short form takes.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <thread>

#include "platform/files.h"
#include "platform/system_calls.h"
#include "platform/wide_text.h"

namespace kzr {
namespace {

using system::kNoHandle;

HANDLE AsHandle(std::intptr_t handle) noexcept { return reinterpret_cast<HANDLE>(handle); }
std::intptr_t FromHandle(HANDLE handle) noexcept { return reinterpret_cast<std::intptr_t>(handle); }

Status Failure(Status::Code code, std::string_view path = {}) noexcept {
  return Status::System(code, static_cast<int>(GetLastError()), path);
}

FileKind KindFromAttributes(DWORD attributes, bool links_count) {
  if (attributes == INVALID_FILE_ATTRIBUTES) return FileKind::kMissing;
  if (links_count && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return FileKind::kLink;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return FileKind::kFolder;
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return FileKind::kOther;
  return FileKind::kFile;
}

std::uint64_t Join(DWORD high, DWORD low) noexcept { return std::uint64_t{high} << 32 | low; }

FileIdentity IdentityFrom(const BY_HANDLE_FILE_INFORMATION& info) noexcept {
  FileIdentity identity;
  identity.volume = info.dwVolumeSerialNumber;
  identity.file = Join(info.nFileIndexHigh, info.nFileIndexLow);
  identity.size = Join(info.nFileSizeHigh, info.nFileSizeLow);
  identity.modified = static_cast<std::int64_t>(
      Join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime));
  return identity;
}

// 100-nanosecond steps from 1601 to 1970.
constexpr std::int64_t kUnixEpoch = 116444736000000000;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// `folder_path` + `name` as a path for the wide calls; false without memory.
bool ForSystem(std::string_view folder_path, std::string_view name, std::wstring& wide) noexcept {
  try {
    wide = SystemPath(std::string(folder_path).append(name));
    return true;
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
}
bool ForSystem(const std::string& path, std::wstring& wide) noexcept {
  return ForSystem(path, {}, wide);
}

}  // namespace

// Renames `source` over `target` with POSIX semantics (Windows 10 and
// later): false where the system cannot.
bool RenameOverOpenFile(const std::wstring& source, const std::wstring& target) noexcept {
  constexpr auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
  constexpr DWORD kReplaceIfExists = 0x1, kPosixSemantics = 0x2;
  struct RenameInfo {
    DWORD flags;
    HANDLE root;
    DWORD length;
    WCHAR name[1];
  };
  const std::size_t size = offsetof(RenameInfo, name) + (target.size() + 1) * sizeof(WCHAR);
  std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[size]());
  if (!buffer) return false;
  auto* info = reinterpret_cast<RenameInfo*>(buffer.get());
  info->flags = kReplaceIfExists | kPosixSemantics;
  info->length = static_cast<DWORD>(target.size() * sizeof(WCHAR));
  std::memcpy(info->name, target.c_str(), (target.size() + 1) * sizeof(WCHAR));
  const HANDLE file = CreateFileW(source.c_str(), DELETE | SYNCHRONIZE, kShareAll, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool renamed = SetFileInformationByHandle(file, kFileRenameInfoEx, info,
                                                  static_cast<DWORD>(size)) != 0;
  CloseHandle(file);
  return renamed;
}

// --- the calls output_file.cpp makes --------------------------------------------

namespace system {

int LastError() noexcept { return static_cast<int>(GetLastError()); }
void SetLastError(int error) noexcept { ::SetLastError(static_cast<DWORD>(error)); }
unsigned ProcessId() noexcept { return static_cast<unsigned>(GetCurrentProcessId()); }
bool IsSeparator(char c) noexcept { return c == '\\' || c == '/' || c == ':'; }
std::size_t LongestName() noexcept { return 255; }
std::size_t LongestPath() noexcept { return 32000; }

Status CreateNew(std::intptr_t, const std::string& folder_path, const std::string& name,
                 std::intptr_t& handle) noexcept {
  std::wstring path;
  if (!ForSystem(folder_path, name, path)) return Failure(Status::kCannotCreate);
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return Failure(error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? Status::kExists
                                                                              : Status::kCannotCreate);
  }
  handle = FromHandle(file);
  return Status::kOk;
}

void CopyAccess(std::intptr_t, const std::string&) noexcept {
  // A new file takes its folder's permissions, as the archive did.
}

Status WriteAll(std::intptr_t handle, const void* bytes, std::size_t size) noexcept {
  const auto* at = static_cast<const std::uint8_t*>(bytes);
  while (size != 0) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(AsHandle(handle), at, piece, &written, nullptr) || written == 0) {
      if (GetLastError() == ERROR_SUCCESS) ::SetLastError(ERROR_DISK_FULL);
      return Failure(Status::kWriteFailed);
    }
    at += written;
    size -= written;
  }
  return Status::kOk;
}

Status WriteAllAt(std::intptr_t handle, std::uint64_t offset, const void* bytes,
                  std::size_t size) noexcept {
  OVERLAPPED where{};
  where.Offset = static_cast<DWORD>(offset);
  where.OffsetHigh = static_cast<DWORD>(offset >> 32);
  LARGE_INTEGER end{};
  // A positioned write moves the file pointer: it goes back to the end.
  if (!SetFilePointerEx(AsHandle(handle), LARGE_INTEGER{}, &end, FILE_CURRENT)) {
    return Failure(Status::kWriteFailed);
  }
  DWORD written = 0;
  if (!WriteFile(AsHandle(handle), bytes, static_cast<DWORD>(size), &written, &where) ||
      written != size) {
    return Failure(Status::kWriteFailed);
  }
  if (!SetFilePointerEx(AsHandle(handle), end, nullptr, FILE_BEGIN)) {
    return Failure(Status::kWriteFailed);
  }
  return Status::kOk;
}

Status FlushToDisk(std::intptr_t handle) noexcept {
  return FlushFileBuffers(AsHandle(handle)) ? Status::kOk : Failure(Status::kWriteFailed);
}

bool Close(std::intptr_t handle) noexcept { return CloseHandle(AsHandle(handle)) != 0; }

bool Remove(std::intptr_t, const std::string& folder_path, const std::string& name) noexcept {
  std::wstring path;
  if (!ForSystem(folder_path, name, path)) return false;
  return DeleteFileW(path.c_str()) != 0;
}

Status Identify(std::intptr_t, const std::string& folder_path, const std::string& name,
                FileIdentity& identity) noexcept {
  std::wstring path;
  if (!ForSystem(folder_path, name, path)) return Failure(Status::kCannotOpen);
  const HANDLE file = CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Failure(Status::kCannotOpen);
  BY_HANDLE_FILE_INFORMATION info;
  const bool known = GetFileInformationByHandle(file, &info) != 0;
  const Status status = known ? Status(Status::kOk) : Failure(Status::kCannotOpen);
  CloseHandle(file);
  if (known) identity = IdentityFrom(info);
  return status;
}

Status Rename(std::intptr_t, const std::string& folder_path, const std::string& from,
              const std::string& to, bool replace, ArchiveLock* lock) noexcept {
  std::wstring source, target;
  if (!ForSystem(folder_path, from, source) || !ForSystem(folder_path, to, target)) {
    return Failure(Status::kCannotCreate);
  }
  // The lock is a handle on the very file to replace, which the rename needs
  // closed.
  if (lock != nullptr) lock->Release();
  // Where the system has it, a rename with POSIX semantics replaces a file
  // that readers hold open (with delete sharing); elsewhere MoveFileEx.
  if (replace && RenameOverOpenFile(source, target)) return Status::kOk;
  const DWORD flags = (replace ? MOVEFILE_REPLACE_EXISTING : 0) | MOVEFILE_WRITE_THROUGH;
  if (MoveFileExW(source.c_str(), target.c_str(), flags)) return Status::kOk;
  const DWORD error = GetLastError();
  return Failure(!replace && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
                     ? Status::kExists
                     : Status::kCannotCreate);
}

}  // namespace system

// --- InputFile -----------------------------------------------------------------

Status InputFile::Open(const std::string& path) noexcept {
  std::wstring wide;
  if (!ForSystem(path, wide)) return Failure(Status::kCannotOpen, path);
  // Delete sharing: a writer may rename a new archive over this one while
  // it is read.
  const HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Failure(Status::kCannotOpen, path);
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
      GetFileType(file) != FILE_TYPE_DISK) {
    const DWORD error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_ACCESS_DENIED;
    CloseHandle(file);
    return Status::System(Status::kCannotOpen, static_cast<int>(error), path);
  }
  handle_ = FromHandle(file);
  identity_ = IdentityFrom(info);
  modified_seconds_ = (identity_.modified - kUnixEpoch) / 10000000;
  try {
    path_ = path;
  } catch (...) {
  }
  return Status::kOk;
}

Status InputFile::ReadAt(std::uint64_t offset, void* to, std::size_t size) const noexcept {
  auto* at = static_cast<std::uint8_t*>(to);
  while (size != 0) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(offset);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!ReadFile(AsHandle(handle_), at, piece, &got, &where) || got == 0) {
      if (GetLastError() == ERROR_HANDLE_EOF) ::SetLastError(ERROR_SUCCESS);
      if (got == 0 && GetLastError() == ERROR_IO_PENDING) ::SetLastError(ERROR_SUCCESS);
      return Failure(Status::kReadFailed, path_);
    }
    at += got;
    offset += got;
    size -= got;
  }
  return Status::kOk;
}

// --- Folder --------------------------------------------------------------------

namespace {

// Opens the real folder at `path` (not a link or another reparse point),
// held without delete sharing so that it cannot be renamed or replaced while
// it is held.
Status HoldFolder(const std::string& path, std::intptr_t& handle) noexcept {
  std::wstring wide;
  if (!ForSystem(path, wide)) return Failure(Status::kCannotOpen, path);
  const HANDLE folder = CreateFileW(wide.c_str(), FILE_LIST_DIRECTORY,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr);
  if (folder == INVALID_HANDLE_VALUE) return Failure(Status::kCannotOpen, path);
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(folder, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    const bool link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    CloseHandle(folder);
    return Status::System(Status::kCannotCreate, link ? ERROR_CANT_ACCESS_FILE : ERROR_DIRECTORY,
                          path);
  }
  handle = FromHandle(folder);
  return Status::kOk;
}

bool IsFolder(const std::wstring& path) noexcept {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Makes the folder at `path` and its parents.
bool MakeFolders(const std::string& path) {
  std::wstring wide = SystemPath(path);
  if (IsFolder(wide)) return true;
  // Each parent in turn, from the first that is missing.
  std::size_t at = wide.rfind(L'\\');
  if (at != std::wstring::npos && at > 0 && wide[at - 1] != L':' && wide[at - 1] != L'?') {
    std::string parent = path;
    while (!parent.empty() && !system::IsSeparator(parent.back())) parent.pop_back();
    while (parent.size() > 1 && (parent.back() == '\\' || parent.back() == '/')) parent.pop_back();
    if (!parent.empty() && parent != path && !MakeFolders(parent)) return false;
  }
  return CreateDirectoryW(wide.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

}  // namespace

Status Folder::Open(const std::string& path, Folder& folder) noexcept {
  try {
    if (!MakeFolders(path)) return Failure(Status::kCannotCreate, path);
    std::intptr_t handle = kNoHandle;
    if (Status status = HoldFolder(path, handle); !status.ok()) return status;
    folder = Folder();
    folder.handle_ = handle;
    folder.path_ = path;
    if (folder.path_.empty() || !system::IsSeparator(folder.path_.back())) folder.path_ += '\\';
  } catch (...) {
    return Status::kNoMemory;
  }
  return Status::kOk;
}

Status Folder::Child(std::string_view name, Folder& child) const noexcept {
  try {
    const std::string shown = path_ + std::string(name);
    std::intptr_t handle = kNoHandle;
    Status status = HoldFolder(shown, handle);
    if (!status.ok()) {
      const DWORD error = static_cast<DWORD>(status.system_error());
      if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return status;
      if (!CreateDirectoryW(SystemPath(shown).c_str(), nullptr) &&
          GetLastError() != ERROR_ALREADY_EXISTS) {
        return Failure(Status::kCannotCreate, shown);
      }
      status = HoldFolder(shown, handle);
    }
    if (!status.ok()) return status;
    child = Folder();
    child.handle_ = handle;
    child.path_ = shown + '\\';
  } catch (...) {
    return Status::kNoMemory;
  }
  return Status::kOk;
}

Status Folder::KindOf(std::string_view name, FileKind& kind) const noexcept {
  try {
    const std::string path = path_ + std::string(name);
    const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD error = GetLastError();
      if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
        return Failure(Status::kCannotOpen, path);
      }
      kind = FileKind::kMissing;
    } else {
      // Here a device counts as a file.
      kind = KindFromAttributes(attributes & ~DWORD{FILE_ATTRIBUTE_DEVICE}, true);
    }
  } catch (...) {
    return Status::kNoMemory;
  }
  return Status::kOk;
}

// --- ArchiveLock ---------------------------------------------------------------

Status ArchiveLock::Acquire(const std::string& path, std::chrono::milliseconds wait) noexcept {
  Release();
  std::wstring wide;
  if (!ForSystem(path, wide)) return Failure(Status::kCannotOpen, path);
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    // Writers open the archive to write without sharing writing, so that
    // only one at a time holds it; readers, which share everything, are
    // never kept out.
    const HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      handle_ = FromHandle(file);
      return Status::kOk;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return Status::kOk;
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) {
      return Status::kOk;  // no lock to be had (a read-only file, say): the checks remain
    }
    if (std::chrono::steady_clock::now() >= deadline) return Status(Status::kInUse).About(path);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// --- queries -------------------------------------------------------------------

bool PathExists(const std::string& path) noexcept {
  std::wstring wide;
  return ForSystem(path, wide) && GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

Status MayChange(const std::string& path) noexcept {
  std::wstring wide;
  if (!ForSystem(path, wide)) return Failure(Status::kCannotCreate, path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0) {
    return Status::kOk;
  }
  return Status::System(Status::kCannotCreate, ERROR_ACCESS_DENIED, path);
}

std::string FileBehindLinks(const std::string& path) { return path; }

bool RemoveFile(const std::string& path) noexcept {
  std::wstring wide;
  return ForSystem(path, wide) && DeleteFileW(wide.c_str()) != 0;
}

bool RemoveEmptyFolder(const std::string& path) noexcept {
  std::wstring wide;
  return ForSystem(path, wide) && RemoveDirectoryW(wide.c_str()) != 0;
}

std::uint32_t PackedLocalTime(std::int64_t seconds) noexcept {
  constexpr std::uint32_t kEarliest = (1u << 21) | (1u << 16);  // 1980-01-01
  if (seconds < 0) return kEarliest;
  const std::uint64_t ticks = static_cast<std::uint64_t>(seconds) * 10000000 + kUnixEpoch;
  FILETIME written{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)}, local;
  WORD date = 0, time = 0;
  if (!FileTimeToLocalFileTime(&written, &local) || !FileTimeToDosDateTime(&local, &date, &time)) {
    return kEarliest;
  }
  return std::max<std::uint32_t>(std::uint32_t{date} << 16 | time, kEarliest);
}

namespace {

// Names Windows maps to devices whatever the folder or extension.
bool IsDeviceName(std::string_view component) {
  std::string upper;
  for (const char c : component.substr(0, component.find('.'))) {
    upper += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  while (!upper.empty() && upper.back() == ' ') upper.pop_back();
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL" ||
      upper == "CONIN$" || upper == "CONOUT$") {
    return true;
  }
  return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
         upper[3] >= '0' && upper[3] <= '9';
}

}  // namespace

std::optional<std::string> SystemRefusesName(std::string_view component) {
  for (const char c : component) {
    if (static_cast<unsigned char>(c) < 0x20 || std::string_view("<>:\"|?*").find(c) != std::string_view::npos) {
      return "a character Windows does not allow in file names";
    }
  }
  if (!component.empty() && (component.back() == '.' || component.back() == ' ')) {
    return "a component ending in a dot or space";
  }
  if (const std::size_t length = WideFromUtf8(component).size(); length > 255) {
    return "File name too long (" + std::to_string(length) +
           " characters; Windows allows 255)";
  }
  if (IsDeviceName(component)) return "a Windows device name";
  return std::nullopt;
}

SystemError Classify(int system_error) noexcept {
  switch (static_cast<DWORD>(system_error)) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return SystemError::kNotFound;
    case ERROR_DIRECTORY: return SystemError::kNotAFolder;
    case ERROR_CANT_ACCESS_FILE: return SystemError::kIsALink;
    default: return SystemError::kOther;
  }
}

std::string SystemMessage(int system_error) {
  wchar_t text[512];
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                static_cast<DWORD>(system_error),
                                MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text,
                                sizeof text / sizeof text[0], nullptr);
  while (length > 0 && (text[length - 1] == L'\n' || text[length - 1] == L'\r' ||
                        text[length - 1] == L' ' || text[length - 1] == L'.')) {
    --length;
  }
  if (length == 0) return "Windows error " + std::to_string(system_error);
  return Utf8FromWide(std::wstring_view(text, length));
}

// --- paths and folders ---------------------------------------------------------

FileKind KindOf(const std::string& path, bool follow) {
  const std::wstring wide = SystemPath(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FileKind::kMissing;
  if (!follow || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return KindFromAttributes(attributes, !follow);
  }
  // Follow the link: opening it opens what it leads to.
  HANDLE file = CreateFileW(wide.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
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
