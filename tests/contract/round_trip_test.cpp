// Round trips through the exports: random sets of files packed with
// PackFiles, then opened, listed and extracted back to identical bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "support/archive_builder.h"
#include "support/host_session.h"
#include "support/temp_dir.h"

namespace kzr::test {
namespace {

const char kSeparator = static_cast<char>(std::filesystem::path::preferred_separator);

struct SourceFile {
  std::string item;  // as listed for PackFiles, with the host's separator
  Bytes bytes;
};

// Names with folders, some under the ini\dat\ prefix in mixed case, sizes
// from 0 to 1 MB (mostly small).
std::vector<SourceFile> RandomFiles(std::mt19937& random) {
  static const char* const kFolders[] = {"", "maps", "ini", "Ini", "INI"};
  static const char* const kSubfolders[] = {"", "dat", "Dat", "DAT", "sounds"};
  std::vector<SourceFile> files;
  const int count = std::uniform_int_distribution<int>(1, 12)(random);
  for (int i = 0; i < count; ++i) {
    std::string item;
    const std::string folder = kFolders[random() % 5];
    const std::string subfolder = kSubfolders[random() % 5];
    if (!folder.empty()) item += folder + kSeparator;
    if (!folder.empty() && !subfolder.empty()) item += subfolder + kSeparator;
    item += "file" + std::to_string(i) + ".bin";
    const std::size_t size = random() % 4 == 0 ? random() % (1u << 20) : random() % 3000;
    files.push_back({item, RandomBytes(size, static_cast<std::uint32_t>(random()))});
  }
  return files;
}

TEST(RoundTrip, RandomFileSetsComeBackByteForByte) {
  std::mt19937 random(20261207);
  for (int round = 0; round < 12; ++round) {
    TempDir dir;
    const std::vector<SourceFile> files = RandomFiles(random);
    std::string list;
    for (const SourceFile& file : files) {
      dir.Write("src/" + file.item, file.bytes);
      list += file.item + '\0';
    }
    list += '\0';
    // Half the rounds store everything under a sub-path.
    std::string sub_path = round % 2 ? std::string("pack\\") : std::string();
    std::string archive = dir.File("round.kzr");
    std::string source = (dir.path() / "src").string() + kSeparator;
    ASSERT_EQ(Plugin().PackFiles(archive.data(), round % 2 ? sub_path.data() : nullptr,
                                 source.data(), list.data(), 0),
              0);

    int code = -1;
    host::Handle handle = OpenForList(archive, &code);
    ASSERT_NE(handle, nullptr) << code;
    for (auto file = files.rbegin(); file != files.rend(); ++file) {
      host::HeaderRecord record = FreshHeaderRecord();
      ASSERT_EQ(Plugin().ReadHeader(handle, &record), 0);
      EXPECT_EQ(std::string(record.FileName), HostName(sub_path + file->item))
          << "listed in reverse";
      EXPECT_EQ(record.UnpSize, file->bytes.size());
      EXPECT_EQ(record.PackSize, file->bytes.size());
      std::string out = dir.File("out.bin");
      ASSERT_EQ(Plugin().ProcessFile(handle, 2, nullptr, out.data()), 0);
      ASSERT_EQ(ReadFileBytes(out), file->bytes) << file->item;
    }
    host::HeaderRecord record = FreshHeaderRecord();
    EXPECT_EQ(Plugin().ReadHeader(handle, &record), 10);
    Plugin().CloseArchive(handle);
  }
}

}  // namespace
}  // namespace kzr::test
