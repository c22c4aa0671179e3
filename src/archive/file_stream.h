// Owned C file streams, positional reads, and a length query that works past
// 2 GiB, so that an oversized file is seen as such rather than as a failed
// seek.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kzr {

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file to read ("rb"). A named pipe without a writer opens at once
// and reads as empty, instead of holding the caller (a file manager, say)
// until someone writes to it.
inline FilePtr OpenForReading(const char* path) noexcept {
#if defined(_WIN32)
  return FilePtr(std::fopen(path, "rb"));
#else
  const int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return nullptr;
  std::FILE* file = nullptr;
  const int flags = fcntl(descriptor, F_GETFL);
  if (flags != -1 && fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != -1) {
    file = fdopen(descriptor, "rb");
  }
  if (file == nullptr) close(descriptor);
  return FilePtr(file);
#endif
}

// Positions the stream at its end and returns that position.
inline std::optional<std::uint64_t> SeekToEnd(std::FILE* file) noexcept {
#if defined(_WIN32)
  if (_fseeki64(file, 0, SEEK_END) != 0) return std::nullopt;
  const long long position = _ftelli64(file);
#else
  if (fseeko(file, 0, SEEK_END) != 0) return std::nullopt;
  const long long position = ftello(file);
#endif
  if (position < 0) return std::nullopt;
  return static_cast<std::uint64_t>(position);
}

// Reads exactly `size` bytes at `offset` (at most 2^31 - 1, as every
// position in an archive is); false when they cannot all be had.
inline bool ReadAt(std::FILE* file, std::uint64_t offset, void* to, std::size_t size) noexcept {
  if (offset > 0x7FFFFFFF || std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) {
    return false;
  }
  return size == 0 || std::fread(to, 1, size, file) == size;
}

}  // namespace kzr
