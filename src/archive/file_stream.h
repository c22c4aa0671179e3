// Owned C file streams, positional reads, and a length query that works past
// 2 GiB, so that an oversized file is seen as such rather than as a failed
// seek.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>

namespace kzr {

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

inline FilePtr OpenFile(const char* path, const char* mode) noexcept {
  return FilePtr(std::fopen(path, mode));
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
