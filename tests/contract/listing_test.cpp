// Opening and listing through the exports, as the file manager drives them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "support/archive_builder.h"
#include "support/host_session.h"
#include "support/temp_dir.h"

namespace kzr::test {
namespace {

class ListingTest : public ::testing::TestWithParam<Flavour> {
 protected:
  std::string WriteArchive(const ArchiveBuilder& builder) {
    return dir_.Write("a.kzr", builder.Build());
  }
  TempDir dir_;
};

TEST_P(ListingTest, ReportsEntriesInReverseDirectoryOrderThenEndsForGood) {
  ArchiveBuilder builder(GetParam());
  builder.AddFile("x.txt", BytesOf("first"))
      .AddFile("dir\\y.bin", RandomBytes(1000, 1))
      .AddFile("", {});
  const std::string path = WriteArchive(builder);

  int code = -1;
  host::Handle handle = OpenForList(path, &code);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(code, 0);
  const Listing listing = ListAll(handle);
  const std::vector<ListedEntry> expected = {
      {"", 0, 0}, {HostName("dir\\y.bin"), 1000, 1000}, {"x.txt", 5, 5}};
  EXPECT_EQ(listing.entries, expected);
  EXPECT_EQ(listing.end_code, 10);
  host::HeaderRecord record = FreshHeaderRecord();
  EXPECT_EQ(Plugin().ReadHeader(handle, &record), 10);
  EXPECT_EQ(record.FileName[0], static_cast<char>(0xAB)) << "nothing is written at the end";
  EXPECT_EQ(Plugin().CloseArchive(handle), 0);
}

TEST_P(ListingTest, PackedSizeComesFromCompressedSizeOnlyForCompressedEntries) {
  ArchiveBuilder builder(GetParam());
  RecordSpec stored{.name = "plain", .stored = Bytes(7), .uncompressed_size = 7,
                    .compressed_size = 99999};
  RecordSpec second_byte_flag{.name = "flag256", .stored = Bytes(3), .uncompressed_size = 500,
                              .compressed_size = 3, .compressed = 256};
  builder.AddRecord(stored).AddRecord(second_byte_flag);
  int code = -1;
  const Listing listing = ListArchive(WriteArchive(builder), &code);
  ASSERT_EQ(code, 0);
  const std::vector<ListedEntry> expected = {{"flag256", 3, 500}, {"plain", 7, 7}};
  EXPECT_EQ(listing.entries, expected);
}

TEST_P(ListingTest, LongNameIsCutTo259BytesAndTheHostsOwnFieldsAreLeftAlone) {
  ArchiveBuilder builder(GetParam());
  const std::string long_name(300, 'n');
  builder.AddFile(long_name, BytesOf("abc"));
  int code = -1;
  host::Handle handle = OpenForList(WriteArchive(builder), &code);
  ASSERT_NE(handle, nullptr);
  host::HeaderRecord record = FreshHeaderRecord();
  ASSERT_EQ(Plugin().ReadHeader(handle, &record), 0);
  EXPECT_EQ(std::string(record.FileName, 259), long_name.substr(0, 259));
  EXPECT_EQ(record.FileName[259], '\0');
  EXPECT_EQ(record.PackSize, 3u);
  EXPECT_EQ(record.UnpSize, 3u);
  for (char c : record.ArchiveName) ASSERT_EQ(c, static_cast<char>(0xAB));
  EXPECT_EQ(record.Flags, static_cast<std::int32_t>(0xABABABAB));
  Plugin().CloseArchive(handle);

  // The extended record holds it whole, and nothing past FileAttr is written.
  KZR_NEEDS_EXPORT(ReadHeaderEx);
  handle = OpenForList(WriteArchive(builder), &code);
  ASSERT_NE(handle, nullptr);
  host::HeaderRecordExA extended;
  std::memset(&extended, 0xAB, sizeof extended);
  ASSERT_EQ(Plugin().ReadHeaderEx(handle, &extended), 0);
  Plugin().CloseArchive(handle);
  EXPECT_EQ(std::string(extended.FileName), long_name);
  EXPECT_EQ(extended.PackSizeHigh, 0u);
  EXPECT_EQ(extended.UnpSize, 3u);
  const auto* after = reinterpret_cast<const char*>(&extended.FileAttr + 1);
  EXPECT_TRUE(std::all_of(after, reinterpret_cast<const char*>(&extended + 1),
                          [](char c) { return c == static_cast<char>(0xAB); }));
}

TEST_P(ListingTest, ShortNameIsPaddedWithNulBytes) {
  ArchiveBuilder builder(GetParam());
  builder.AddFile("ab", {});
  int code = -1;
  host::Handle handle = OpenForList(WriteArchive(builder), &code);
  ASSERT_NE(handle, nullptr);
  host::HeaderRecord record = FreshHeaderRecord();
  ASSERT_EQ(Plugin().ReadHeader(handle, &record), 0);
  for (std::size_t i = 2; i < sizeof record.FileName; ++i) ASSERT_EQ(record.FileName[i], '\0') << i;
  Plugin().CloseArchive(handle);
}

TEST_P(ListingTest, IgnoresEntryCountAndReservedFields) {
  ArchiveBuilder builder(GetParam());
  builder.AddRecord({.name = "a", .stored = Bytes(2), .uncompressed_size = 2,
                     .reserved_fill = 0xFFFFFFFF});
  builder.AddFile("b", Bytes(1));
  Bytes archive = builder.Build();
  PutU32(archive, 16, 77);          // EntryCount
  PutU32(archive, 12, 0x12345678);  // reserved words
  PutU32(archive, 44, 0);
  int code = -1;
  const Listing listing = ListArchive(dir_.Write("r.kzr", archive), &code);
  EXPECT_EQ(code, 0);
  ASSERT_EQ(listing.entries.size(), 2u);
  EXPECT_EQ(listing.entries[1].name, "a");
}

INSTANTIATE_TEST_SUITE_P(BothFlavours, ListingTest,
                         ::testing::Values(Flavour::kPlain, Flavour::kMasked),
                         [](const auto& info) {
                           return info.param == Flavour::kPlain ? "Plain" : "Masked";
                         });

class OpenRefusalTest : public ::testing::Test {
 protected:
  int OpenCode(const Bytes& bytes) {
    int code = -1;
    host::Handle handle = OpenForList(dir_.Write("t.kzr", bytes), &code);
    EXPECT_EQ(handle, nullptr);
    if (handle != nullptr) Plugin().CloseArchive(handle);
    return code;
  }
  Bytes Valid() {
    return ArchiveBuilder(Flavour::kMasked).AddFile("f", BytesOf("data")).Build();
  }
  TempDir dir_;
};

TEST_F(OpenRefusalTest, MissingFileCannotBeOpened) {
  int code = -1;
  EXPECT_EQ(OpenForList(dir_.File("missing.kzr"), &code), nullptr);
  EXPECT_EQ(code, 15);
}

TEST_F(OpenRefusalTest, HeaderThatDoesNotMatchTheFileIsUnknownFormat) {
  Bytes appended = Valid();
  appended.push_back(0);
  EXPECT_EQ(OpenCode(appended), 14) << "one byte appended";

  Bytes flavour2 = Valid();
  flavour2[4] = 2;
  EXPECT_EQ(OpenCode(flavour2), 14) << "flavour byte 2";

  Bytes bad_magic = Valid();
  bad_magic[0] = 'b';
  EXPECT_EQ(OpenCode(bad_magic), 14);

  Bytes bad_tag = Valid();
  bad_tag[7] = 'X';
  EXPECT_EQ(OpenCode(bad_tag), 14);

  for (int delta : {-1, 1}) {
    Bytes length_off = Valid();
    PutU32(length_off, 8, GetU32(length_off, 8) + delta);
    EXPECT_EQ(OpenCode(length_off), 14) << "ArchiveLength off by " << delta;

    Bytes directory_off = Valid();
    PutU32(directory_off, 28, GetU32(directory_off, 28) + delta);
    EXPECT_EQ(OpenCode(directory_off), 14) << "DirectoryLength off by " << delta;
  }

  // Offset + length equals the file length only modulo 2^32.
  Bytes wrapped = Valid();
  const std::uint32_t length = GetU32(wrapped, 8);
  PutU32(wrapped, 20, 0x80000000u);
  PutU32(wrapped, 28, length + 0x80000000u);
  EXPECT_EQ(OpenCode(wrapped), 14);
}

TEST_F(OpenRefusalTest, FilesShorterThanTheHeaderAreUnknownFormat) {
  const Bytes valid = Valid();
  EXPECT_EQ(OpenCode(Bytes(valid.begin(), valid.begin() + 8)), 14);
  EXPECT_EQ(OpenCode(Bytes(valid.begin(), valid.begin() + 51)), 14);
  EXPECT_EQ(OpenCode({}), 14);
}

TEST_F(OpenRefusalTest, FileLongerThanTheLargestArchiveIsRefused) {
  // A sparse file of 2^31 bytes whose header and directory are otherwise right.
  const std::uint32_t length = 0x80000000u;
  RecordSpec record{.name = "big", .uncompressed_size = 0};
  const Bytes directory = EncodeRecord(Flavour::kMasked, record, 52);
  const auto directory_offset = static_cast<std::uint32_t>(length - directory.size());
  const Bytes header = MakeHeader(Flavour::kMasked, length, 1, directory_offset);
  const std::string path = dir_.Write("big.kzr", header);
  std::error_code error;
  std::filesystem::resize_file(path, length, error);
  if (error) GTEST_SKIP() << "no sparse file here: " << error.message();
  {
    std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
    out.seekp(directory_offset);
    out.write(reinterpret_cast<const char*>(directory.data()),
              static_cast<std::streamsize>(directory.size()));
  }
  int code = -1;
  EXPECT_EQ(OpenForList(path, &code), nullptr);
  EXPECT_EQ(code, 14);
}

#if !defined(_WIN32)
// A named pipe, met where archives or files to pack are looked for, is
// answered at once; nothing waits for a writer that never comes.
TEST_F(OpenRefusalTest, NamedPipesAreAnsweredWithoutWaitingForAWriter) {
  std::string pipe = dir_.File("pipe.kzr");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  alarm(30);  // a wait ends the test program
  EXPECT_EQ(Plugin().CanYouHandleThisFile(pipe.data()), 0);
  int code = -1;
  EXPECT_EQ(OpenForList(pipe, &code), nullptr);
  EXPECT_EQ(code, 14);
  std::string archive = dir_.File("new.kzr");
  std::string folder = dir_.path().string() + "/";
  std::string list = NameList({"pipe.kzr"});
  EXPECT_EQ(Plugin().PackFiles(archive.data(), nullptr, folder.data(), list.data(), 0), 15);
  alarm(0);
  EXPECT_FALSE(FileExists(archive));
}
#endif

TEST(EmptyArchive, OpensAndListsNothing) {
  TempDir dir;
  const Bytes archive = ArchiveBuilder(Flavour::kMasked).Build();
  ASSERT_EQ(archive.size(), 52u);
  int code = -1;
  const Listing listing = ListArchive(dir.Write("e.kzr", archive), &code);
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(listing.entries.empty());
  EXPECT_EQ(listing.end_code, 10);
}

// A directory whose tail breaks the record limits: the intact entries are
// listed, then the damage is reported as 13, on every later call too.
class DamagedDirectoryTest : public ::testing::Test {
 protected:
  Listing ListWithTail(Flavour flavour, const Bytes& tail, int* open_code) {
    ArchiveBuilder builder(flavour);
    builder.AddFile("one", BytesOf("1")).AddFile("two", BytesOf("22"));
    Bytes archive = builder.Build();
    archive.insert(archive.end(), tail.begin(), tail.end());
    PutU32(archive, 8, static_cast<std::uint32_t>(archive.size()));
    PutU32(archive, 28, static_cast<std::uint32_t>(archive.size() - GetU32(archive, 20)));
    host::Handle handle = OpenForList(dir_.Write("d.kzr", archive), open_code);
    if (handle == nullptr) return {};
    Listing listing = ListAll(handle);
    host::HeaderRecord record = FreshHeaderRecord();
    EXPECT_EQ(Plugin().ReadHeader(handle, &record), 13);
    Plugin().CloseArchive(handle);
    return listing;
  }
  void ExpectIntactEntriesThenDamage(Flavour flavour, const Bytes& tail, const char* what) {
    int code = -1;
    const Listing listing = ListWithTail(flavour, tail, &code);
    EXPECT_EQ(code, 0) << what;
    const std::vector<ListedEntry> expected = {{"two", 2, 2}, {"one", 1, 1}};
    EXPECT_EQ(listing.entries, expected) << what;
    EXPECT_EQ(listing.end_code, 13) << what;
  }
  TempDir dir_;
};

TEST_F(DamagedDirectoryTest, MaskedRecordsThatBreakTheLimits) {
  ExpectIntactEntriesThenDamage(Flavour::kMasked, {0x29}, "one byte left for the prefix");
  ExpectIntactEntriesThenDamage(Flavour::kMasked, {0, 0}, "RecordLength 0");
  Bytes short_record(42, 0);
  PutU16(short_record, 0, 40);
  ExpectIntactEntriesThenDamage(Flavour::kMasked, short_record, "RecordLength 40");
  Bytes overlong(60, 0);
  PutU16(overlong, 0, 100);
  ExpectIntactEntriesThenDamage(Flavour::kMasked, overlong, "record runs past the end");
  Bytes run(40, 0);
  run.insert(run.end(), {'a', 'b', 'c'});
  const Bytes no_nul = FrameMaskedRun(run);
  ExpectIntactEntriesThenDamage(Flavour::kMasked, no_nul, "name without NUL");
}

TEST_F(DamagedDirectoryTest, PlainRecordsThatBreakTheLimits) {
  ExpectIntactEntriesThenDamage(Flavour::kPlain, Bytes(40, 0), "fixed block without name");
  Bytes no_nul(45, 'x');
  ExpectIntactEntriesThenDamage(Flavour::kPlain, no_nul, "name without NUL");
}

TEST(ProcessDataProcRegistration, MinusOneHandleIsAcceptedAndIgnored) {
  Plugin().SetProcessDataProc(reinterpret_cast<host::Handle>(-1), nullptr);
  Plugin().SetChangeVolProc(reinterpret_cast<host::Handle>(-1), nullptr);
  SUCCEED();
}

}  // namespace
}  // namespace kzr::test
