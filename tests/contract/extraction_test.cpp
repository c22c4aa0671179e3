// Extraction and verification through ProcessFile, as the file manager
// drives it: open, ReadHeader, ProcessFile for each entry, close.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <utility>

#include "support/archive_builder.h"
#include "support/file_size_limit.h"
#include "support/lzw_encoder.h"
#include "support/host_session.h"
#include "support/temp_dir.h"

namespace kzr::test {
namespace {

// A compressed-entry stream of one block holding `payload`.
Bytes OneBlockStream(const Bytes& payload) {
  Bytes stream(12, 0);
  PutU32(stream, 0, 0x11111111);
  PutU32(stream, 4, static_cast<std::uint32_t>(payload.size()));
  PutU32(stream, 8, 0x22222222);
  stream.insert(stream.end(), payload.begin(), payload.end());
  return stream;
}

const Bytes kAbabPayload = {0x41, 0x84, 0x04, 0x04, 0x08};  // codes 65, 66, 257, 256
const Bytes kCorruptPayload = {0x2C, 0x83, 0x00, 0x04};     // codes 300, 65: bad second code

std::vector<std::pair<std::string, int>> g_progress;
std::size_t g_answered = SIZE_MAX;  // calls answered 1; later ones answer 0 (stop)

int KZR_API RecordProgress(char* name, int size) {
  g_progress.emplace_back(name, size);
  return g_progress.size() <= g_answered ? 1 : 0;
}

class ExtractionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_progress.clear();
    g_answered = SIZE_MAX;
  }
  void TearDown() override {
    if (handle_ != nullptr) Plugin().CloseArchive(handle_);
  }

  void Open(const ArchiveBuilder& builder) { OpenBytes(builder.Build()); }
  void OpenBytes(const Bytes& archive) {
    int code = -1;
    handle_ = OpenForList(dir_.Write("archive.kzr", archive), &code);
    ASSERT_NE(handle_, nullptr);
    Plugin().SetProcessDataProc(handle_, RecordProgress);
  }
  // Moves the listing on by one entry and returns its name.
  std::string Next() {
    host::HeaderRecord record = FreshHeaderRecord();
    EXPECT_EQ(Plugin().ReadHeader(handle_, &record), 0);
    return record.FileName;
  }
  int Process(int operation, const std::string* dest_path, const std::string& dest_name) {
    std::string path = dest_path ? *dest_path : std::string();
    std::string name = dest_name;
    return Plugin().ProcessFile(handle_, operation, dest_path ? path.data() : nullptr, name.data());
  }
  int Extract(const std::string& to) { return Process(2, nullptr, to); }

  TempDir dir_;
  host::Handle handle_ = nullptr;
};

class FlavourExtractionTest : public ExtractionTest,
                              public ::testing::WithParamInterface<Flavour> {};

TEST_P(FlavourExtractionTest, EveryEntryComesBackByteForByte) {
  const std::vector<std::pair<std::string, Bytes>> members = {
      {"readme.txt", BytesOf("hello, world\n")},
      {"ini\\dat\\units.ini", RandomBytes(5000, 1)},
      {"INI\\DAT\\upper.ini", RandomBytes(261, 2)},
      {"Ini\\Dat\\mixed", RandomBytes(3, 3)},
      {"ini/dat/slashes", RandomBytes(100, 4)},
      {"ini\\dat", RandomBytes(10, 5)},
      {"empty", {}},
      {"big.bin", RandomBytes(1 << 20, 6)},
  };
  ArchiveBuilder builder(GetParam());
  for (const auto& [name, bytes] : members) builder.AddFile(name, bytes);
  builder.AddCompressed("packed.bin", OneBlockStream(kAbabPayload), 4);
  Open(builder);

  EXPECT_EQ(Next(), "packed.bin");
  ASSERT_EQ(Extract(dir_.File("packed.out")), 0);
  EXPECT_EQ(ReadFileBytes(dir_.File("packed.out")), BytesOf("ABAB"))
      << "compressed entries carry no content mask";
  for (auto member = members.rbegin(); member != members.rend(); ++member) {
    EXPECT_EQ(Next(), HostName(member->first));
    const std::string out = dir_.File("out.bin");
    ASSERT_EQ(Extract(out), 0) << member->first;
    EXPECT_EQ(ReadFileBytes(out), member->second) << member->first;
  }
}

INSTANTIATE_TEST_SUITE_P(BothFlavours, FlavourExtractionTest,
                         ::testing::Values(Flavour::kPlain, Flavour::kMasked),
                         [](const auto& info) {
                           return info.param == Flavour::kPlain ? "Plain" : "Masked";
                         });

TEST_F(ExtractionTest, PlainArchiveStoresIniDatNamesUnmasked) {
  const Bytes member = BytesOf("raw bytes");
  RecordSpec record{.name = "ini\\dat\\raw", .stored = member, .uncompressed_size = 9};
  Open(ArchiveBuilder(Flavour::kPlain).AddRecord(record));
  Next();
  ASSERT_EQ(Extract(dir_.File("raw")), 0);
  EXPECT_EQ(ReadFileBytes(dir_.File("raw")), member);
}

// The name is the host's: on Windows the stored one, on Linux as listed.
TEST_F(ExtractionTest, ReportsProgressWithTheEntrysNameBeforeAndAfter) {
  Open(ArchiveBuilder(Flavour::kMasked).AddFile("dir\\a.txt", BytesOf("12345")).AddFile("z", {}));
  Next();
  ASSERT_EQ(Extract(dir_.File("z")), 0);
  Next();
  ASSERT_EQ(Extract(dir_.File("a")), 0);
  const std::vector<std::pair<std::string, int>> expected = {
      {"z", 0}, {"z", 0}, {HostName("dir\\a.txt"), 0}, {HostName("dir\\a.txt"), 5}};
  EXPECT_EQ(g_progress, expected);
  EXPECT_TRUE(FileExists(dir_.File("z")));
  EXPECT_EQ(std::filesystem::file_size(dir_.File("z")), 0u);
}

TEST_F(ExtractionTest, OperationsOtherThanExtractAndTestDoNothing) {
  Open(ArchiveBuilder(Flavour::kMasked).AddFile("a", BytesOf("x")));
  Next();
  for (int operation : {0, 3, -1, 1000}) {
    EXPECT_EQ(Process(operation, nullptr, dir_.File("skipped")), 0) << operation;
  }
  EXPECT_FALSE(FileExists(dir_.File("skipped")));
  EXPECT_TRUE(g_progress.empty());
}

TEST_F(ExtractionTest, TestOperationVerifiesWithoutWriting) {
  Open(ArchiveBuilder(Flavour::kMasked)
           .AddCompressed("bad", OneBlockStream(kCorruptPayload), 10)
           .AddCompressed("good", OneBlockStream(kAbabPayload), 4));
  Next();
  EXPECT_EQ(Process(1, nullptr, dir_.File("good")), 0);
  Next();
  EXPECT_EQ(Process(1, nullptr, dir_.File("bad")), 12);
  EXPECT_FALSE(FileExists(dir_.File("good")));
  EXPECT_FALSE(FileExists(dir_.File("bad")));
  const std::vector<std::pair<std::string, int>> expected = {
      {"good", 0}, {"good", 4}, {"bad", 0}};
  EXPECT_EQ(g_progress, expected);
}

// A host that asks to stop, at the first call or within the member, gets
// 21 at once; no part of the member is left, and a file at the destination
// is kept.
TEST_F(ExtractionTest, AnsweringZeroStopsTheWorkAndLeavesNothing) {
  Open(ArchiveBuilder(Flavour::kMasked).AddFile("f", RandomBytes(3 << 20, 8)));
  Next();
  const std::string existing = dir_.Write("keep.txt", BytesOf("precious"));
  for (const std::size_t answered : {0u, 1u, 2u}) {
    for (const int operation : {1, 2}) {
      for (const std::string& to : {dir_.File("new.bin"), existing}) {
        g_progress.clear();
        g_answered = answered;
        EXPECT_EQ(Process(operation, nullptr, to), 21) << operation << " after " << answered;
        EXPECT_EQ(g_progress.size(), answered + 1) << "no call after the stop";
      }
    }
  }
  EXPECT_FALSE(FileExists(dir_.File("new.bin")));
  EXPECT_EQ(ReadFileBytes(existing), BytesOf("precious"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()),
                          std::filesystem::directory_iterator()),
            2)
      << "the archive and the kept file, nothing else";
}

TEST_F(ExtractionTest, CorruptStreamLeavesAnExistingFileUntouched) {
  Open(ArchiveBuilder(Flavour::kMasked).AddCompressed("bad", OneBlockStream(kCorruptPayload), 10));
  Next();
  const std::string existing = dir_.Write("keep.txt", BytesOf("precious"));
  EXPECT_EQ(Extract(existing), 12);
  EXPECT_EQ(ReadFileBytes(existing), BytesOf("precious"));
  EXPECT_EQ(Extract(dir_.File("new.txt")), 12);
  EXPECT_FALSE(FileExists(dir_.File("new.txt")));
  ASSERT_EQ(g_progress.size(), 2u) << "only the opening progress call of each attempt";
}

// So is a compressed member that claims more than an archive may hold
// (2^31 - 1 bytes): refused before anything is written.
TEST_F(ExtractionTest, StoredBytesOutsideTheArchiveAreCorruptData) {
  ArchiveBuilder builder(Flavour::kMasked);
  builder.AddCompressed("huge", OneBlockStream(kAbabPayload), 0x80000000u);
  builder.AddRecord({.name = "past-end", .stored = {}, .uncompressed_size = 10,
                     .data_offset = 0x7FFFFFF0});
  builder.AddRecord({.name = "runs-over", .stored = {}, .uncompressed_size = 1000,
                     .data_offset = 52});
  builder.AddRecord({.name = "far", .stored = {}, .uncompressed_size = 1,
                     .data_offset = 0xFFFFFFFF});
  Open(builder);
  for (const char* name : {"far", "runs-over", "past-end", "huge"}) {
    EXPECT_EQ(Next(), name);
    EXPECT_EQ(Extract(dir_.File(name)), 12) << name;
    EXPECT_FALSE(FileExists(dir_.File(name))) << name;
  }
}

TEST_F(ExtractionTest, ShortStreamIsPaddedWithZeroBytes) {
  Open(ArchiveBuilder(Flavour::kMasked).AddCompressed("short", OneBlockStream(kAbabPayload), 7));
  Next();
  ASSERT_EQ(Extract(dir_.File("short")), 0);
  EXPECT_EQ(ReadFileBytes(dir_.File("short")), (Bytes{'A', 'B', 'A', 'B', 0, 0, 0}));
}

TEST_F(ExtractionTest, DestinationPathAndNameAreJoinedWithoutASeparator) {
  Open(ArchiveBuilder(Flavour::kMasked).AddFile("f", BytesOf("data")));
  Next();
  std::filesystem::create_directory(dir_.path() / "sub");
  const std::string folder = dir_.File("sub");
  const std::string with_separator = folder + static_cast<char>(std::filesystem::path::preferred_separator);
  EXPECT_EQ(Process(2, &with_separator, "inside"), 0);
  EXPECT_EQ(ReadFileBytes(dir_.File("sub/inside")), BytesOf("data"));
  EXPECT_EQ(Process(2, &folder, "joined"), 0);
  EXPECT_TRUE(FileExists(dir_.File("subjoined")));
  EXPECT_EQ(Process(2, nullptr, dir_.File("full")), 0);
  EXPECT_TRUE(FileExists(dir_.File("full")));
}

TEST_F(ExtractionTest, SameEntryCanBeExtractedTwice) {
  Open(ArchiveBuilder(Flavour::kMasked).AddFile("f", BytesOf("again")));
  Next();
  ASSERT_EQ(Extract(dir_.File("one")), 0);
  ASSERT_EQ(Extract(dir_.File("two")), 0);
  EXPECT_EQ(ReadFileBytes(dir_.File("two")), BytesOf("again"));
}

TEST_F(ExtractionTest, RefusalsWriteNothing) {
  Open(ArchiveBuilder(Flavour::kMasked).AddFile("f", BytesOf("data")));
  EXPECT_EQ(Extract(dir_.File("early")), 12) << "nothing listed yet";
  EXPECT_FALSE(FileExists(dir_.File("early")));

  Next();
  const std::string long_path = dir_.path().string() + std::string(600, 'x');
  EXPECT_EQ(Extract(long_path), 20);
  const std::string long_dir = dir_.File(std::string(200, 'd'));
  EXPECT_EQ(Process(2, &long_dir, std::string(400, 'n')), 20);

  EXPECT_EQ(Extract(dir_.File("no-such-folder/f")), 16);
}

TEST_F(ExtractionTest, OutputOverTheArchiveItselfIsRefused) {
  Open(ArchiveBuilder(Flavour::kMasked).AddFile("f", BytesOf("data")));
  Next();
  const Bytes before = ReadFileBytes(dir_.File("archive.kzr"));
  EXPECT_EQ(Extract(dir_.File("archive.kzr")), 16);
  EXPECT_EQ(ReadFileBytes(dir_.File("archive.kzr")), before);
}

#if !defined(_WIN32)
// A disk that fills up: the old file stays as it was, and no part of the new
// one is left under any name.
// Small members are written by the call itself, large ones by a thread of
// their own while the next bytes are read or decoded: a disk that fills up
// must leave the old file and no fragment either way.
TEST_F(ExtractionTest, FailedWriteLeavesTheOldFileAndNoFragment) {
  const LzwBytes text = SampleText(12 << 20, 5);
  struct Case {
    const char* what;
    ArchiveBuilder archive;
    std::uint64_t limit;
  };
  Case cases[] = {
      {"a small stored member", ArchiveBuilder(Flavour::kMasked).AddFile("f", RandomBytes(3 << 20, 4)),
       1 << 20},
      {"a large stored member", ArchiveBuilder(Flavour::kMasked).AddFile("f", RandomBytes(9 << 20, 4)),
       5 << 20},
      {"a large compressed member",
       ArchiveBuilder(Flavour::kPlain)
           .AddCompressed("f", EncodeLzw(text), static_cast<std::uint32_t>(text.size())),
       7 << 20},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (handle_ != nullptr) Plugin().CloseArchive(handle_);
    Open(c.archive);
    Next();
    g_progress.clear();
    const std::string output = dir_.Write("out.bin", BytesOf("old contents"));
    {
      const FileSizeLimit full(c.limit);
      EXPECT_EQ(Extract(output), 19);
    }
    EXPECT_EQ(ReadFileBytes(output), BytesOf("old contents"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()),
                            std::filesystem::directory_iterator()),
              2)
        << "the archive and the old file, nothing else";
    EXPECT_LT(g_progress.size(), 12u) << "no progress reported past the failure for long";
  }
}
#endif

}  // namespace
}  // namespace kzr::test
