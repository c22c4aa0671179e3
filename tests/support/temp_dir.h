// A scratch folder that lives as long as the test, and file helpers.
#pragma once

#include <filesystem>
#include <string>

#include "support/archive_builder.h"

namespace kzr::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The full path of `name` inside the folder, as a narrow string.
  std::string File(const std::string& name) const;
  // Writes `bytes` to `name` inside the folder and returns its full path.
  std::string Write(const std::string& name, const Bytes& bytes) const;

 private:
  std::filesystem::path path_;
};

Bytes ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);

}  // namespace kzr::test
