// Editing archives through the exports as file managers do it: PackFiles on
// an existing archive adds and replaces, DeleteFiles removes; every change is
// written beside the archive and renamed into place, so a failure leaves the
// old archive byte for byte and no temporary file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "support/archive_builder.h"
#include "support/file_size_limit.h"
#include "support/host_session.h"
#include "support/lzw_encoder.h"
#include "support/temp_dir.h"

namespace kzr::test {
namespace {

const char kSeparator = static_cast<char>(std::filesystem::path::preferred_separator);
// The handle a host names its packing callback with.
const host::Handle kNoArchive = reinterpret_cast<host::Handle>(-1);

// What the listing shows, in listing order, as name -> content.
using Contents = std::vector<std::pair<std::string, Bytes>>;

class EditingTest : public ::testing::TestWithParam<Flavour> {
 protected:
  // An archive with a plain member, one to be replaced, and a compressed one.
  void SetUp() override {
    packed_ = SampleText(5000, 7);
    stream_ = EncodeLzw(packed_);
    ArchiveBuilder builder(GetParam());
    builder.AddFile("keep.txt", BytesOf("kept"))
        .AddFile("dir\\Replace.TXT", BytesOf("old"))
        .AddCompressed("packed.bin", stream_, static_cast<std::uint32_t>(packed_.size()));
    archive_ = dir_.Write("game.kzr", builder.Build());
  }

  std::string Source(const std::string& name, const Bytes& bytes) {
    return dir_.Write("src/" + name, bytes);
  }
  int Pack(const char* sub_path, const std::string& list, int flags = 0) {
    std::string archive = archive_;
    std::string source = (dir_.path() / "src").string() + kSeparator;
    std::string sub = sub_path != nullptr ? sub_path : "";
    std::string items = list;
    return Plugin().PackFiles(archive.data(), sub_path != nullptr ? sub.data() : nullptr,
                              source.data(), items.data(), flags);
  }
  int Delete(const std::string& list) {
    std::string archive = archive_;
    std::string items = list;
    return Plugin().DeleteFiles(archive.data(), items.data());
  }
  // Every entry, listed and extracted.
  Contents Read() {
    int code = -1;
    host::Handle handle = OpenForList(archive_, &code);
    EXPECT_NE(handle, nullptr) << code;
    Contents contents;
    if (handle == nullptr) return contents;
    host::HeaderRecord record = FreshHeaderRecord();
    while (Plugin().ReadHeader(handle, &record) == 0) {
      std::string out = dir_.File("out.bin");
      EXPECT_EQ(Plugin().ProcessFile(handle, 2, nullptr, out.data()), 0);
      contents.emplace_back(record.FileName, ReadFileBytes(out));
      record = FreshHeaderRecord();
    }
    Plugin().CloseArchive(handle);
    std::filesystem::remove(dir_.File("out.bin"));
    return contents;
  }
  // The names in the scratch folder, to see that nothing was left behind.
  std::set<std::string> FolderNames() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  TempDir dir_;
  Bytes packed_, stream_;
  std::string archive_;
};

TEST_P(EditingTest, PackFilesAddsReplacesByNameAndKeepsTheRest) {
  Source("replace.txt", BytesOf("new"));
  Source("new.txt", BytesOf("added"));
  ASSERT_EQ(Pack("dir", NameList({"replace.txt"})), 0);
  ASSERT_EQ(Pack(nullptr, NameList({"new.txt"})), 0);

  const Bytes archive = ReadFileBytes(archive_);
  EXPECT_EQ(archive[4], static_cast<std::uint8_t>(GetParam())) << "the flavour is kept";
  EXPECT_NE(std::search(archive.begin(), archive.end(), stream_.begin(), stream_.end()),
            archive.end())
      << "the compressed entry's stream is copied unchanged";
  const Contents expected = {{"new.txt", BytesOf("added")},
                             {HostName("dir\\replace.txt"), BytesOf("new")},
                             {"packed.bin", packed_},
                             {"keep.txt", BytesOf("kept")}};
  EXPECT_EQ(Read(), expected) << "kept entries in their order, then the new ones";
}

TEST_P(EditingTest, PlainArchivesStayPlainAndMaskedOnesMasked) {
  Source("ini/dat/u.ini", BytesOf("[unit]"));
  ASSERT_EQ(Pack(nullptr, NameList({HostName("ini\\dat\\u.ini")})), 0);
  const Bytes archive = ReadFileBytes(archive_);
  const Bytes raw = BytesOf("[unit]");
  const bool stored_as_is =
      std::search(archive.begin(), archive.end(), raw.begin(), raw.end()) != archive.end();
  EXPECT_EQ(stored_as_is, GetParam() == Flavour::kPlain);
  EXPECT_EQ(Read().front(), std::make_pair(HostName("ini\\dat\\u.ini"), raw));
}

TEST_P(EditingTest, DeleteFilesRemovesFilesAndFolders) {
  ASSERT_EQ(Delete(NameList({"KEEP.TXT"})), 0) << "letters in any case";
  ASSERT_EQ(Read().size(), 2u);
  ASSERT_EQ(Delete(NameList({HostName("dir\\*.*")})), 0);
  const Contents expected = {{"packed.bin", packed_}};
  EXPECT_EQ(Read(), expected);

  const Bytes before = ReadFileBytes(archive_);
  EXPECT_EQ(Delete(NameList({"no-such-entry"})), 0);
  EXPECT_EQ(ReadFileBytes(archive_), before) << "nothing to delete, nothing rewritten";
}

// An entry of exactly the name given is matched first; only when there is
// none, those whose names differ from it in the case of ASCII letters.
TEST_P(EditingTest, TheExactNameIsMatchedBeforeItsOtherCases) {
  archive_ = dir_.Write("case.kzr", ArchiveBuilder(GetParam())
                                        .AddFile("Readme.TXT", BytesOf("1"))
                                        .AddFile("README.txt", BytesOf("2"))
                                        .Build());
  Source("README.txt", BytesOf("new"));
  ASSERT_EQ(Pack(nullptr, NameList({"README.txt"})), 0);
  EXPECT_EQ(Read(), (Contents{{"README.txt", BytesOf("new")}, {"Readme.TXT", BytesOf("1")}}));
  ASSERT_EQ(Delete(NameList({"Readme.TXT"})), 0);
  EXPECT_EQ(Read(), (Contents{{"README.txt", BytesOf("new")}}));
  ASSERT_EQ(Delete(NameList({"readme.TXT"})), 0) << "no entry of that exact name";
  EXPECT_TRUE(Read().empty());
}

TEST_P(EditingTest, MovedFilesAreRemovedOnlyOnceTheArchiveHoldsThem) {
  const std::string moved = Source("moved.txt", BytesOf("m"));
  EXPECT_EQ(Pack(nullptr, NameList({"moved.txt", "missing"}), 1), 15);
  EXPECT_TRUE(FileExists(moved)) << "the pack failed";
  EXPECT_EQ(Pack(nullptr, NameList({"moved.txt"}), 1), 0);
  EXPECT_FALSE(FileExists(moved));
  EXPECT_EQ(Read().front(), std::make_pair(std::string("moved.txt"), BytesOf("m")));
}

TEST_P(EditingTest, TheArchiveListedAmongItsOwnSourcesIsLeftOutNotMovedIn) {
  // The user moves the folder that holds the archive into it: the host's list
  // names the archive too.
  const std::string moved = dir_.Write("moved.txt", BytesOf("m"));
  std::string archive = archive_;
  std::string folder = dir_.path().string() + kSeparator;
  std::string items = NameList({"game.kzr", "moved.txt"});
  ASSERT_EQ(Plugin().PackFiles(archive.data(), nullptr, folder.data(), items.data(), 1), 0);
  EXPECT_FALSE(FileExists(moved));
  const Contents contents = Read();
  ASSERT_EQ(contents.size(), 4u) << "the old entries and the moved file, not the archive";
  EXPECT_EQ(contents.front(), std::make_pair(std::string("moved.txt"), BytesOf("m")));
}

#if !defined(_WIN32)
TEST_P(EditingTest, AnArchiveReachedThroughALinkChangesWhereTheLinkLeads) {
  const std::string real = archive_;
  archive_ = dir_.File("link.kzr");
  std::filesystem::create_symlink("game.kzr", archive_);
  Source("new.txt", BytesOf("added"));
  ASSERT_EQ(Pack(nullptr, NameList({"new.txt"})), 0);
  ASSERT_EQ(Delete(NameList({"keep.txt"})), 0);
  EXPECT_TRUE(std::filesystem::is_symlink(archive_));
  archive_ = real;
  const std::vector<std::string> names = {"new.txt", "packed.bin", HostName("dir\\Replace.TXT")};
  std::vector<std::string> listed;
  for (const auto& [name, bytes] : Read()) listed.push_back(name);
  EXPECT_EQ(listed, names);
}
#endif

TEST_P(EditingTest, FailuresKeepTheOldArchiveByteForByte) {
  const Bytes before = ReadFileBytes(archive_);
  const std::set<std::string> names = FolderNames();
  Source("good", BytesOf("good"));
  EXPECT_EQ(Pack(nullptr, NameList({"good", "missing"})), 15);
  EXPECT_EQ(Pack(nullptr, NameList({std::string(2100, 'n')})), 20);
  // The host asks to stop (its packing callback answers 0).
  Plugin().SetProcessDataProc(kNoArchive, [](char*, int) KZR_API { return 0; });
  EXPECT_EQ(Pack(nullptr, NameList({"good"})), 21);
  EXPECT_EQ(Delete(NameList({"keep.txt"})), 21);
  Plugin().SetProcessDataProc(kNoArchive, nullptr);
  EXPECT_EQ(ReadFileBytes(archive_), before);
#if !defined(_WIN32)
  Source("big", RandomBytes(2 << 20, 3));
  {
    const FileSizeLimit full(1 << 20);
    EXPECT_EQ(Pack(nullptr, NameList({"big"})), 19);
    EXPECT_EQ(Delete(NameList({"keep.txt"})), 0) << "a small rewrite still fits";
  }
  EXPECT_EQ(Read().size(), 2u);
#else
  EXPECT_EQ(ReadFileBytes(archive_), before);
#endif
  std::set<std::string> after = FolderNames();
  after.erase("src");
  EXPECT_EQ(after, names) << "no temporary file is left";
}

// A read-only archive is left as it is, though a rename over it would need
// only the folder's permission.
TEST_P(EditingTest, AReadOnlyArchiveIsNotChanged) {
#if !defined(_WIN32)
  if (geteuid() == 0) GTEST_SKIP() << "root may change any file (the CLI tests run as nobody)";
#endif
  namespace fs = std::filesystem;
  constexpr fs::perms kWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  Source("good", BytesOf("good"));
  const Bytes before = ReadFileBytes(archive_);
  fs::permissions(archive_, kWrite, fs::perm_options::remove);
  EXPECT_EQ(Pack(nullptr, NameList({"good"})), 16);
  EXPECT_EQ(Delete(NameList({"keep.txt"})), 16);
  EXPECT_EQ(ReadFileBytes(archive_), before);
  fs::permissions(archive_, fs::perms::owner_write, fs::perm_options::add);
}

INSTANTIATE_TEST_SUITE_P(BothFlavours, EditingTest,
                         ::testing::Values(Flavour::kPlain, Flavour::kMasked),
                         [](const auto& info) {
                           return info.param == Flavour::kPlain ? "Plain" : "Masked";
                         });

TEST(EditingRefusals, WhatIsNoArchiveOrADamagedOneIsLeftAlone) {
  TempDir dir;
  Bytes damaged = ArchiveBuilder(Flavour::kMasked).AddFile("a", BytesOf("a")).Build();
  damaged[damaged.size() - 1] ^= 0xFF;  // the record's NUL is gone
  const struct {
    const char* what;
    Bytes bytes;
    int code;
  } cases[] = {
      {"not an archive", RandomBytes(1000, 1), 14},
      {"an empty file", {}, 14},
      {"a damaged directory", damaged, 13},
  };
  dir.Write("src/f", BytesOf("f"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string archive = dir.Write("a.kzr", c.bytes);
    std::string source = (dir.path() / "src").string() + kSeparator;
    std::string list = NameList({"f"});
    EXPECT_EQ(Plugin().PackFiles(archive.data(), nullptr, source.data(), list.data(), 0), c.code);
    EXPECT_EQ(Plugin().DeleteFiles(archive.data(), list.data()), c.code);
    EXPECT_EQ(ReadFileBytes(archive), c.bytes);
  }
  std::string missing = dir.File("missing.kzr");
  std::string list = NameList({"f"});
  EXPECT_EQ(Plugin().DeleteFiles(missing.data(), list.data()), 15);
}

// What the host is told never leads outside its folder; extraction still
// reads the stored entry.
TEST(ReportedNames, DropWhatWouldLeadOutsideTheFolder) {
  const struct {
    const char* stored;
    const char* reported;  // with `\`
  } cases[] = {
      {"ok\\..\\..\\..\\escape2.txt", "ok\\escape2.txt"},
      {"\\abs.txt", "abs.txt"},
      {"\\\\server\\share\\x", "server\\share\\x"},
      {"C:\\drive.txt", "drive.txt"},
      {"c:relative.txt", "relative.txt"},
      {"C:D:\\\\x", "x"},
      {"a\\.\\b\\\\c\\", "a\\b\\c"},
      {"..", ""},
      {"dir/mixed\\..\\x", "dir\\mixed\\x"},
      {"plain\\name.txt", "plain\\name.txt"},
      {".hidden\\..name..\\x.", ".hidden\\..name..\\x."},
  };
  ArchiveBuilder builder(Flavour::kMasked);
  for (const auto& c : cases) builder.AddFile(c.stored, BytesOf(c.stored));
  TempDir dir;
  int code = -1;
  host::Handle handle = OpenForList(dir.Write("n.kzr", builder.Build()), &code);
  ASSERT_NE(handle, nullptr);
  for (auto c = std::rbegin(cases); c != std::rend(cases); ++c) {
    host::HeaderRecord record = FreshHeaderRecord();
    ASSERT_EQ(Plugin().ReadHeader(handle, &record), 0);
    EXPECT_EQ(std::string(record.FileName), HostName(c->reported)) << c->stored;
    std::string out = dir.File("out");
    ASSERT_EQ(Plugin().ProcessFile(handle, 2, nullptr, out.data()), 0);
    EXPECT_EQ(ReadFileBytes(out), BytesOf(c->stored));
  }
  Plugin().CloseArchive(handle);
}

// A cleaned name cut to the record's 259 bytes may end with a separator; it
// is still reported, not left out.
TEST(ReportedNames, ACleanedNameCutToTheRecordIsStillWritten) {
  const std::string stored = "\\" + std::string(258, 'x') + "\\y";
  TempDir dir;
  int code = -1;
  host::Handle handle = OpenForList(
      dir.Write("n.kzr", ArchiveBuilder(Flavour::kPlain).AddFile(stored, BytesOf("z")).Build()),
      &code);
  ASSERT_NE(handle, nullptr);
  host::HeaderRecord record = FreshHeaderRecord();
  ASSERT_EQ(Plugin().ReadHeader(handle, &record), 0);
  Plugin().CloseArchive(handle);
  EXPECT_EQ(std::string(record.FileName, 260),
            HostName(std::string(258, 'x') + "\\") + std::string(1, '\0'));
}

TEST(ReportedNames, CarryTheArchivesTimeAndTheAttributesOfAFile) {
  TempDir dir;
  const std::string path =
      dir.Write("t.kzr", ArchiveBuilder(Flavour::kMasked).AddFile("a", BytesOf("a")).Build());
  // 2024-03-05 14:07:09 local time.
  std::tm local{};
  local.tm_year = 124;
  local.tm_mon = 2;
  local.tm_mday = 5;
  local.tm_hour = 14;
  local.tm_min = 7;
  local.tm_sec = 9;
  local.tm_isdst = -1;
  const std::time_t when = std::mktime(&local);
  const auto since_epoch = std::chrono::system_clock::from_time_t(when).time_since_epoch();
  std::filesystem::last_write_time(
      path, std::filesystem::file_time_type(
                std::chrono::duration_cast<std::filesystem::file_time_type::duration>(
                    since_epoch) +
                (std::filesystem::file_time_type::clock::now().time_since_epoch() -
                 std::chrono::duration_cast<std::filesystem::file_time_type::duration>(
                     std::chrono::system_clock::now().time_since_epoch()))));
  int code = -1;
  host::Handle handle = OpenForList(path, &code);
  ASSERT_NE(handle, nullptr);
  host::HeaderRecord record = FreshHeaderRecord();
  ASSERT_EQ(Plugin().ReadHeader(handle, &record), 0);
  Plugin().CloseArchive(handle);
#if defined(_WIN32)
  EXPECT_EQ(record.FileTime, host::PackedTime(2024, 3, 5, 14, 7, 8)) << "packed, local time";
#else
  EXPECT_EQ(record.FileTime, static_cast<std::uint32_t>(when)) << "seconds since 1970";
#endif
#if defined(_WIN32)
  EXPECT_EQ(record.FileAttr, 0x20u) << "FILE_ATTRIBUTE_ARCHIVE";
#else
  EXPECT_EQ(record.FileAttr, 0100644u) << "a regular file, rw-r--r--";
#endif
}

}  // namespace
}  // namespace kzr::test
