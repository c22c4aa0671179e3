// Creating archives with PackFiles: exact bytes, the layout rules, and the
// failures, each of which must leave no file at the archive path.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "codec/content_mask.h"
#include "support/archive_builder.h"
#include "support/host_session.h"
#include "support/temp_dir.h"

namespace kzr::test {
namespace {

const char kSeparator = static_cast<char>(std::filesystem::path::preferred_separator);

// A host add list: names separated by NULs, closed by an empty name.
std::string AddList(std::initializer_list<std::string> names) {
  std::string list;
  for (const std::string& name : names) list += name + '\0';
  return list + '\0';
}

class PackingTest : public ::testing::Test {
 protected:
  std::string Source(const std::string& name, const Bytes& bytes) {
    return dir_.Write("src/" + name, bytes);
  }
  int Pack(const std::string& archive, const char* sub_path, const std::string& list) {
    std::string archive_path = archive;
    std::string source = (dir_.path() / "src").string() + kSeparator;
    std::string sub = sub_path ? sub_path : "";
    std::string items = list;
    return Plugin().PackFiles(archive_path.data(), sub_path ? sub.data() : nullptr, source.data(),
                              items.data(), 0);
  }
  TempDir dir_;
};

TEST_F(PackingTest, EmptyListAndFolderOnlyListGiveTheHeaderOnlyArchive) {
  const Bytes expected = {
      'B', 'I', 'G', 'F', 1, 'Z', 'B', 'L', 52, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 52, 0, 0, 0,
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
      0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE};
  ASSERT_EQ(Pack(dir_.File("empty.kzr"), nullptr, AddList({})), 0);
  EXPECT_EQ(ReadFileBytes(dir_.File("empty.kzr")), expected);

  std::filesystem::create_directories(dir_.path() / "src" / "folder");
  ASSERT_EQ(Pack(dir_.File("folders.kzr"), "sub\\",
                 AddList({std::string("folder") + kSeparator})), 0);
  EXPECT_EQ(ReadFileBytes(dir_.File("folders.kzr")), expected);
}

// Worked out independently: ContentMask of "ab" at length 2 is 27 24; the
// record's chain starts at table index 42 & 15 = 10.
TEST_F(PackingTest, OneFileArchiveIsExactlyAsLaidOut) {
  Source("x", BytesOf("ab"));
  const Bytes expected = {
      0x42, 0x49, 0x47, 0x46, 0x01, 0x5A, 0x42, 0x4C, 0x62, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x01, 0x00, 0x00, 0x00, 0x36, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2C, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFE,
      0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0x27, 0x24, 0x2A, 0x00, 0x17, 0x39, 0x7E, 0xD6,
      0xC4, 0x18, 0xA0, 0x5C, 0x8B, 0xF5, 0x6D, 0x41, 0x0B, 0xF5, 0x6D, 0x41, 0x0B, 0xF5, 0x6D,
      0x41, 0x09, 0x7E, 0xD6, 0xC4, 0x18, 0xA0, 0x5C, 0x8B, 0xF5, 0x6D, 0x41, 0x0B, 0xF5, 0x6D,
      0x41, 0x0B, 0xF5, 0x6D, 0x41, 0x0B, 0x8D, 0x41};
  ASSERT_EQ(Pack(dir_.File("one.kzr"), nullptr, AddList({"x"})), 0);
  EXPECT_EQ(ReadFileBytes(dir_.File("one.kzr")), expected);
}

TEST_F(PackingTest, DataLiesBackToBackAndRecordsFollowTheListOrder) {
  Source("a", BytesOf("AAAA"));
  Source("zero", {});
  Source("b", BytesOf("BB"));
  ASSERT_EQ(Pack(dir_.File("t.kzr"), "sub\\", AddList({"a", "zero", "b"})), 0);
  const Bytes archive = ReadFileBytes(dir_.File("t.kzr"));
  EXPECT_EQ(GetU32(archive, 16), 3u);
  EXPECT_EQ(GetU32(archive, 20), 52u + 6u) << "directory right after the data";
  EXPECT_EQ(archive.size(), 58u + 3 * 43u + 3 * 4u + 1u + 4u + 1u);

  int code = -1;
  const Listing listing = ListArchive(dir_.File("t.kzr"), &code);
  ASSERT_EQ(code, 0);
  const std::vector<ListedEntry> expected = {
      {"sub\\b", 2, 2}, {"sub\\zero", 0, 0}, {"sub\\a", 4, 4}};
  EXPECT_EQ(listing.entries, expected);
}

TEST_F(PackingTest, SubPathAndItemAreJoinedWithoutASeparator) {
  Source("abcde", BytesOf("12345"));
  ASSERT_EQ(Pack(dir_.File("t.kzr"), "dir!", AddList({"abcde"})), 0);
  const Bytes archive = ReadFileBytes(dir_.File("t.kzr"));
  EXPECT_EQ(GetU32(archive, 28), 52u) << "one record of 2 + 50 bytes";
  EXPECT_EQ(archive.at(52 + 5), 50) << "RecordLength 41 + 9";
  int code = -1;
  EXPECT_EQ(ListArchive(dir_.File("t.kzr"), &code).entries.at(0).name, "dir!abcde");

  ASSERT_EQ(Pack(dir_.File("null.kzr"), nullptr, AddList({"abcde"})), 0);
  ASSERT_EQ(Pack(dir_.File("empty.kzr"), "", AddList({"abcde"})), 0);
  EXPECT_EQ(ReadFileBytes(dir_.File("null.kzr")), ReadFileBytes(dir_.File("empty.kzr")));
}

TEST_F(PackingTest, IniDatMaskFollowsTheStoredName) {
  const Bytes member = RandomBytes(300, 9);
  auto stored_bytes = [&](const char* sub_path, const std::string& item) {
    EXPECT_EQ(Pack(dir_.File("t.kzr"), sub_path, AddList({item})), 0);
    const Bytes archive = ReadFileBytes(dir_.File("t.kzr"));
    return Bytes(archive.begin() + 52, archive.begin() + 52 + 300);
  };
  Bytes content_only = member;
  EncodeContentMask(content_only.data(), 300);
  Bytes both = member;
  EncodeIniDatMask(both.data(), 300);
  EncodeContentMask(both.data(), 300);

  // The item doubles as a source path, so the prefix goes into the sub-path
  // here; only the joined stored name decides.
  Source("z", member);
  EXPECT_EQ(stored_bytes("ini\\dat\\", "z"), both);
  EXPECT_EQ(stored_bytes("INI\\DAT\\", "z"), both);
  EXPECT_EQ(stored_bytes("ini\\", "z"), content_only);
  EXPECT_EQ(stored_bytes("x\\ini\\dat\\", "z"), content_only);
}

TEST_F(PackingTest, ExistingArchiveIsReplaced) {
  Source("f", BytesOf("new"));
  dir_.Write("t.kzr", RandomBytes(10000, 1));
  ASSERT_EQ(Pack(dir_.File("t.kzr"), nullptr, AddList({"f"})), 0);
  int code = -1;
  EXPECT_EQ(ListArchive(dir_.File("t.kzr"), &code).entries.size(), 1u);
  EXPECT_EQ(code, 0);
}

TEST_F(PackingTest, FailuresLeaveNoFileAtTheArchivePath) {
  Source("good", BytesOf("good"));
  const std::string archive = dir_.File("t.kzr");

  EXPECT_EQ(Pack(archive, nullptr, AddList({"good", "missing"})), 15);
  EXPECT_FALSE(FileExists(archive)) << "missing source";

  EXPECT_EQ(Pack(dir_.File("no-such-folder/t.kzr"), nullptr, AddList({"good"})), 16);
  EXPECT_FALSE(FileExists(dir_.File("no-such-folder/t.kzr")));
}

TEST_F(PackingTest, OverlongPathsAreRefusedBeforeAnythingIsWritten) {
  Source("good", BytesOf("good"));
  const std::string archive = dir_.Write("t.kzr", BytesOf("keep me"));
  EXPECT_EQ(Pack(archive, nullptr, AddList({"good", std::string(2100, 'n')})), 20);
  EXPECT_EQ(Pack(archive, std::string(2045, 's').c_str(), AddList({"good"})), 20);
  EXPECT_EQ(ReadFileBytes(archive), BytesOf("keep me"));
}

TEST_F(PackingTest, DataBeyondTheLargestArchiveIsRefused) {
  const std::string big = Source("big", {});
  std::error_code error;
  std::filesystem::resize_file(big, 0x80000000u, error);
  if (error) GTEST_SKIP() << "no sparse file here: " << error.message();
  EXPECT_EQ(Pack(dir_.File("t.kzr"), nullptr, AddList({"big"})), 24);
  EXPECT_FALSE(FileExists(dir_.File("t.kzr")));
}

#if !defined(_WIN32)
TEST_F(PackingTest, FailedWriteIsReportedAndTheFileRemoved) {
  if (!FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  Source("good", BytesOf("good"));
  // A link to a device whose writes always fail; removing it removes the link.
  const std::string archive = dir_.File("full.kzr");
  std::filesystem::create_symlink("/dev/full", archive);
  EXPECT_EQ(Pack(archive, nullptr, AddList({"good"})), 19);
  EXPECT_FALSE(std::filesystem::is_symlink(archive));
  EXPECT_TRUE(FileExists("/dev/full"));
}
#endif

}  // namespace
}  // namespace kzr::test
