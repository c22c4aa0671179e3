// Shared pieces of the fuzz targets that drive the exports through files:
// contract checks that abort, and a scratch file per process.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace kzr::fuzz {

[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "contract violation: %s\n", what);
  std::abort();
}

inline void Check(bool holds, const char* what) {
  if (!holds) Fail(what);
}

// A path in memory-backed storage where there is some, unique to this
// process and to `tag`.
inline std::string ScratchPath(const char* tag) {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = (tmp != nullptr && *tmp != '\0') ? tmp
                       : access("/dev/shm", W_OK) == 0  ? "/dev/shm"
                                                        : "/tmp";
  return folder + "/kzr-fuzz-" + tag + "-" + std::to_string(getpid());
}

inline void WriteScratch(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) Fail("cannot write a scratch file");
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) {
    Fail("cannot write a scratch file");
  }
  if (std::fclose(out) != 0) Fail("cannot write a scratch file");
}

}  // namespace kzr::fuzz
