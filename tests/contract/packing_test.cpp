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

std::string AddList(std::initializer_list<std::string> names) { return NameList(names); }

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
  ASSERT_EQ(Pack(dir_.File("t.kzr"), HostName("sub\\").c_str(), AddList({"a", "zero", "b"})), 0);
  const Bytes archive = ReadFileBytes(dir_.File("t.kzr"));
  EXPECT_EQ(GetU32(archive, 16), 3u);
  EXPECT_EQ(GetU32(archive, 20), 52u + 6u) << "directory right after the data";
  EXPECT_EQ(archive.size(), 58u + 3 * 43u + 3 * 4u + 1u + 4u + 1u);

  int code = -1;
  const Listing listing = ListArchive(dir_.File("t.kzr"), &code);
  ASSERT_EQ(code, 0);
  const std::vector<ListedEntry> expected = {
      {HostName("sub\\b"), 2, 2}, {HostName("sub\\zero"), 0, 0}, {HostName("sub\\a"), 4, 4}};
  EXPECT_EQ(listing.entries, expected);
}

// Hosts pass the sub-path of an open archive's folder without a trailing
// separator; the item is stored inside it all the same.
TEST_F(PackingTest, SubPathAndItemAreJoinedWithOneSeparator) {
  Source("abcde", BytesOf("12345"));
  for (const std::string& sub_path : {std::string("dir!"), HostName("dir!\\")}) {
    const std::string archive = dir_.File(std::to_string(sub_path.size()) + ".kzr");
    ASSERT_EQ(Pack(archive, sub_path.c_str(), AddList({"abcde"})), 0);
    const Bytes bytes = ReadFileBytes(archive);
    EXPECT_EQ(GetU32(bytes, 28), 53u) << "one record of 2 + 51 bytes";
    EXPECT_EQ(bytes.at(52 + 5), 51) << "RecordLength 41 + 10";
    int code = -1;
    EXPECT_EQ(ListArchive(archive, &code).entries.at(0).name, HostName("dir!\\abcde"));
  }
  ASSERT_EQ(Pack(dir_.File("null.kzr"), nullptr, AddList({"abcde"})), 0);
  ASSERT_EQ(Pack(dir_.File("empty.kzr"), "", AddList({"abcde"})), 0);
  EXPECT_EQ(ReadFileBytes(dir_.File("null.kzr")), ReadFileBytes(dir_.File("empty.kzr")));
}

TEST_F(PackingTest, IniDatMaskFollowsTheStoredName) {
  const Bytes member = RandomBytes(300, 9);
  int round = 0;
  auto stored_bytes = [&](const char* sub_path, const std::string& item) {
    const std::string path = dir_.File(std::to_string(++round) + ".kzr");
    EXPECT_EQ(Pack(path, HostName(sub_path).c_str(), AddList({item})), 0);
    const Bytes archive = ReadFileBytes(path);
    return Bytes(archive.begin() + 52, archive.begin() + 52 + 300);
  };
  Bytes content_only = member;
  EncodeContentMask(content_only.data(), 300, 300);
  Bytes both = member;
  EncodeIniDatMask(both.data(), 300, 300, 0);
  EncodeContentMask(both.data(), 300, 300);

  // The item doubles as a source path, so the prefix goes into the sub-path
  // here; only the joined stored name decides.
  Source("z", member);
  EXPECT_EQ(stored_bytes("ini\\dat\\", "z"), both);
  EXPECT_EQ(stored_bytes("INI\\DAT\\", "z"), both);
  EXPECT_EQ(stored_bytes("ini\\", "z"), content_only);
  EXPECT_EQ(stored_bytes("x\\ini\\dat\\", "z"), content_only);
}


TEST_F(PackingTest, FailuresLeaveNoFileAtTheArchivePath) {
  Source("good", BytesOf("good"));
  const std::string archive = dir_.File("t.kzr");

  EXPECT_EQ(Pack(archive, nullptr, AddList({"good", "missing"})), 15);
  EXPECT_FALSE(FileExists(archive)) << "missing source";

  EXPECT_EQ(Pack(dir_.File("no-such-folder/t.kzr"), nullptr, AddList({"good"})), 16);
  EXPECT_FALSE(FileExists(dir_.File("no-such-folder/t.kzr")));
}

// Two files whose names differ in letter case only (a case-sensitive file
// system) would be one member to every later replace and delete.
TEST_F(PackingTest, NamesThatDifferInCaseOnlyAreRefusedAndAFileListedTwiceIsPackedOnce) {
  Source("a.txt", BytesOf("small"));
  Source("A.TXT", BytesOf("CAPITAL"));
  const bool case_sensitive = ReadFileBytes(dir_.File("src/a.txt")) == BytesOf("small");
  if (case_sensitive) {
    EXPECT_EQ(Pack(dir_.File("case.kzr"), nullptr, AddList({"a.txt", "A.TXT"})), 24);
    EXPECT_FALSE(FileExists(dir_.File("case.kzr")));
  }
  ASSERT_EQ(Pack(dir_.File("twice.kzr"), nullptr, AddList({"a.txt", "a.txt"})), 0);
  int code = -1;
  EXPECT_EQ(ListArchive(dir_.File("twice.kzr"), &code).entries.size(), 1u);
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


}  // namespace
}  // namespace kzr::test
