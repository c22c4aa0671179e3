// The few system calls the portable part of the platform layer (output_file.cpp)
// needs, made by files_posix.cpp or files_windows.cpp. Handles and folders
// are the system's, as numbers. A name is relative to a folder, held open as
// `folder` whose path is `folder_path` (POSIX goes by the handle, Windows by
// the path, while the held handle keeps the folder in place), or, with a
// folder of -1 and an empty folder path, a path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/status.h"
#include "platform/files.h"

namespace kzr::system {

inline constexpr std::intptr_t kNoHandle = -1;

int LastError() noexcept;
void SetLastError(int error) noexcept;
unsigned ProcessId() noexcept;
bool IsSeparator(char c) noexcept;
// The longest file name and path the system takes, in bytes of the names
// as this layer gets them.
std::size_t LongestName() noexcept;
std::size_t LongestPath() noexcept;

// Creates `name` new and exclusively, never through a link: kOk, kExists
// when something stands there, kCannotCreate.
Status CreateNew(std::intptr_t folder, const std::string& folder_path, const std::string& name, std::intptr_t& handle) noexcept;
// Gives the new file the owner and permissions of the file at `model`, as
// far as it may (best effort).
void CopyAccess(std::intptr_t handle, const std::string& model) noexcept;
// Writes every byte: kOk or kWriteFailed, the system's error left in place.
Status WriteAll(std::intptr_t handle, const void* bytes, std::size_t size) noexcept;
Status WriteAllAt(std::intptr_t handle, std::uint64_t offset, const void* bytes,
                  std::size_t size) noexcept;
Status FlushToDisk(std::intptr_t handle) noexcept;
bool Close(std::intptr_t handle) noexcept;
bool Remove(std::intptr_t folder, const std::string& folder_path, const std::string& name) noexcept;
// kOk, or kCannotOpen with the system's error (nothing there, say).
Status Identify(std::intptr_t folder, const std::string& folder_path, const std::string& name, FileIdentity& identity) noexcept;
// Renames `from` to `to`: replacing what stands there, or not (kExists).
// `lock`, if held, is released first where the system needs that.
Status Rename(std::intptr_t folder, const std::string& folder_path, const std::string& from, const std::string& to, bool replace,
              ArchiveLock* lock) noexcept;

}  // namespace kzr::system
