// Names in the code page of stored names. A host on Linux names files in
// UTF-8 and the plugin converts (Windows-1250 unless KZR_NAMES or the host's
// INI file chooses another); the Windows DLL hands the host's ANSI bytes
// through, so there the tests play a host whose ANSI code page is 1250.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "archive/archive_reader.h"
#include "support/archive_builder.h"
#include "support/host_session.h"
#include "support/temp_dir.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace kzr::test {
namespace {

#if defined(_WIN32)
constexpr bool kConverts = false;
#else
constexpr bool kConverts = true;
#endif

const char kSeparator = static_cast<char>(std::filesystem::path::preferred_separator);

// One name in both forms: UTF-8, and the stored bytes in the code page.
struct Name {
  const char* utf8;
  const char* in_code_page;
};

const Name kCzech = {"P\u0159\u00edli\u0161 \u017elu\u0165ou\u010dk\u00fd k\u016f\u0148",
                     "P\xF8\xEDli\x9A \x9Elu\x9Dou\xE8k\xFD k\xF9\xF2"};
const Name kGerman = {"Fr\u00fch", "Fr\xFC" "h"};

// A name as this platform's host writes it.
std::string HostText(const Name& name) {
  return HostName(kConverts ? name.utf8 : name.in_code_page);
}

// The names an archive stores, in directory order.
std::vector<std::string> StoredNames(const std::string& path) {
  std::unique_ptr<ArchiveReader> reader;
  EXPECT_EQ(ArchiveReader::Open(path.c_str(), reader), Status::kOk);
  std::vector<std::string> names;
  if (!reader) return names;
  for (std::size_t i = 0; i < reader->index().EntryCount(); ++i) {
    const EntryView entry = reader->index().EntryAt(i);
    names.emplace_back(entry.Name(), entry.NameLength());
  }
  return names;
}

std::vector<std::string> g_progress_names;

int KZR_API RecordName(char* name, int) {
  g_progress_names.emplace_back(name);
  return 1;
}

void SetVariable(const char* name, const char* value) {
#if defined(_WIN32)
  _putenv_s(name, value != nullptr ? value : "");
#else
  if (value != nullptr) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
#endif
}

class NamesTest : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directory(dir_.path() / "src"); }
  void TearDown() override {
    SetVariable("KZR_NAMES", nullptr);
    SetIniFile("");
  }

  // A source file named in the host's text. The C library's fopen takes the
  // name as the plugin's file functions do (the ANSI code page on Windows),
  // where std::filesystem would convert it on its own terms.
  void WriteSource(const std::string& item, const char* contents) {
    const std::string path = (dir_.path() / "src").string() + kSeparator + item;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    std::fputs(contents, file);
    std::fclose(file);
  }
  int Pack(const std::string& archive, const std::string& sub_path, const std::string& item) {
    std::string archive_path = archive, sub = sub_path, list = NameList({item});
    std::string source = (dir_.path() / "src").string() + kSeparator;
    return Plugin().PackFiles(archive_path.data(), sub.empty() ? nullptr : sub.data(),
                              source.data(), list.data(), 0);
  }
  int Delete(const std::string& archive, const std::string& name) {
    std::string archive_path = archive, list = NameList({name});
    return Plugin().DeleteFiles(archive_path.data(), list.data());
  }
  void SetIniFile(const std::string& path) {
    host::PackDefaultParams params{};
    params.size = sizeof params;
    params.PluginInterfaceVersionHi = 2;
    path.copy(params.DefaultIniName, sizeof params.DefaultIniName - 1);
    ASSERT_NE(Plugin().PackSetDefaultParams, nullptr);
    Plugin().PackSetDefaultParams(&params);
  }
  std::vector<std::string> Listed(const std::string& archive, int* code) {
    std::vector<std::string> names;
    for (const ListedEntry& entry : ListArchive(archive, code).entries) names.push_back(entry.name);
    return names;
  }

  TempDir dir_;
};

TEST_F(NamesTest, AreStoredInTheCodePageAndListedInTheHostsText) {
  for (const Name& name : {kCzech, kGerman}) {
    SCOPED_TRACE(name.utf8);
    const std::string item = HostText(name) + ".txt";
    WriteSource(item, "contents");
    const std::string archive = dir_.File("names.kzr");
    std::filesystem::remove(archive);
    ASSERT_EQ(Pack(archive, HostText(name), item), 0);
    const std::string stored = std::string(name.in_code_page) + "\\" + name.in_code_page + ".txt";
    EXPECT_EQ(StoredNames(archive), std::vector<std::string>{stored});

    int code = -1;
    host::Handle handle = OpenForList(archive, &code);
    ASSERT_NE(handle, nullptr) << code;
    g_progress_names.clear();
    Plugin().SetProcessDataProc(handle, RecordName);
    host::HeaderRecord record = FreshHeaderRecord();
    ASSERT_EQ(Plugin().ReadHeader(handle, &record), 0);
    const std::string listed = HostText(name) + HostName("\\") + HostText(name) + ".txt";
    EXPECT_EQ(std::string(record.FileName), listed);
    std::string out = dir_.File("out");
    ASSERT_EQ(Plugin().ProcessFile(handle, 2, nullptr, out.data()), 0);
    EXPECT_EQ(ReadFileBytes(out), BytesOf("contents"));
    Plugin().CloseArchive(handle);
    // The progress callback shows the name as a host on Linux shows it; on
    // Windows it gets the stored name, which is the host's text there.
    const std::vector<std::string> expected(2, kConverts ? listed : stored);
    EXPECT_EQ(g_progress_names, expected);
  }
}

TEST_F(NamesTest, NameWithoutAFormInTheCodePageIsRefusedAndTheArchiveKept) {
  dir_.Write("src/f", BytesOf("f"));
  const std::string archive = dir_.Write("kept.kzr", ArchiveBuilder(Flavour::kMasked)
                                                         .AddFile("old", BytesOf("old"))
                                                         .Build());
  const Bytes before = ReadFileBytes(archive);
  const struct {
    const char* what;
    const char* code_page;  // null: the default
    std::string sub_path;
  } cases[] = {
      {"Greek, which Windows-1250 lacks", nullptr, "\xCE\xA9mega"},
      {"a snowman", nullptr, "snow\xE2\x98\x83"},
      {"not UTF-8 at all", nullptr, "caf\xE9"},
      // Characters that convert one way only: stored, they would list as
      // other names.
      {"a yen sign, stored as a backslash", "CP932", "a\xC2\xA5" "b"},
      {"a wave dash, stored as a full-width tilde", "CP932", "x\xE3\x80\x9C"},
      {"U+FFFD and digits of a byte that is a character", nullptr, "caf\xEF\xBF\xBD" "E9"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetVariable("KZR_NAMES", c.code_page);
    EXPECT_EQ(Pack(archive, c.sub_path, "f"), kConverts ? 24 : 0);
    if (kConverts) {
      EXPECT_EQ(ReadFileBytes(archive), before);
    }
    const std::string fresh = dir_.File("fresh.kzr");
    EXPECT_EQ(Pack(fresh, c.sub_path, "f"), kConverts ? 24 : 0);
    EXPECT_EQ(FileExists(fresh), !kConverts);
    std::filesystem::remove(fresh);
    std::filesystem::remove(archive);
    dir_.Write("kept.kzr", before);
  }
  // On Linux a `\` is part of a file's name; stored, it would split it.
  if (kConverts) {
    WriteSource("a\\b.txt", "b");
    EXPECT_EQ(Pack(archive, "", "a\\b.txt"), 24);
    EXPECT_EQ(ReadFileBytes(archive), before);
  }
}

// Bytes that Windows-1250 leaves undefined: each is listed as U+FFFD and its
// digits, so two such names stay two; the listed name extracts the stored
// entry, replaces it and deletes it.
TEST_F(NamesTest, BytesThatAreNoCharacterAreMarkedAndStillExtractReplaceAndDelete) {
  const std::string archive = dir_.Write("marked.kzr", ArchiveBuilder(Flavour::kMasked)
                                                           .AddFile("caf\x81", BytesOf("81"))
                                                           .AddFile("caf\x83", BytesOf("83"))
                                                           .Build());
  const std::string marked_83 = kConverts ? "caf\xEF\xBF\xBD" "83" : "caf\x83";
  const std::string marked_81 = kConverts ? "caf\xEF\xBF\xBD" "81" : "caf\x81";
  int code = -1;
  host::Handle handle = OpenForList(archive, &code);
  ASSERT_NE(handle, nullptr);
  for (const auto& [name, bytes] : {std::pair{marked_83, "83"}, std::pair{marked_81, "81"}}) {
    host::HeaderRecord record = FreshHeaderRecord();
    ASSERT_EQ(Plugin().ReadHeader(handle, &record), 0);
    EXPECT_EQ(std::string(record.FileName), name);
    std::string out = dir_.File("out");
    ASSERT_EQ(Plugin().ProcessFile(handle, 2, nullptr, out.data()), 0);
    EXPECT_EQ(ReadFileBytes(out), BytesOf(bytes));
  }
  Plugin().CloseArchive(handle);

  // A file under a listed name replaces the entry.
  WriteSource(marked_83, "new 83");
  ASSERT_EQ(Pack(archive, "", marked_83), 0);
  EXPECT_EQ(StoredNames(archive), (std::vector<std::string>{"caf\x81", "caf\x83"}));

  ASSERT_EQ(Delete(archive, marked_81), 0);
  EXPECT_EQ(StoredNames(archive), std::vector<std::string>{"caf\x83"});
}

// 200 ASCII letters and then two-byte characters in UTF-8: the listed name
// ends before the character that would pass 259 bytes.
TEST_F(NamesTest, LongNamesAreCutAtACharacterBoundary) {
  const struct {
    std::size_t ascii;
    std::size_t listed_characters;  // of the 30 r-with-caron
  } cases[] = {{200, 29}, {201, 29}, {199, 30}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ascii);
    const std::string stored = std::string(c.ascii, 'a') + std::string(30, '\xF8');
    const std::string archive = dir_.Write(
        "long.kzr", ArchiveBuilder(Flavour::kMasked).AddFile(stored, BytesOf("x")).Build());
    std::string expected = stored;  // Windows: bytes as stored
    if (kConverts) {
      expected = std::string(c.ascii, 'a');
      for (std::size_t i = 0; i < c.listed_characters; ++i) expected += "\xC5\x99";
    }
    int code = -1;
    EXPECT_EQ(Listed(archive, &code), std::vector<std::string>{expected});
    // The cut name stands for the one entry it was cut from.
    EXPECT_EQ(Delete(archive, expected), 0);
    EXPECT_TRUE(Listed(archive, &code).empty());
  }
  // Deleting by a cut name that several whole names share is refused; a row
  // of entries of one name goes whole.
  const std::string name = std::string(300, 'a');
  const struct {
    const char* second;
    int code;
  } shared[] = {{"1", 0}, {"2", 20}};
  for (const auto& c : shared) {
    const std::string archive = dir_.Write("cut.kzr", ArchiveBuilder(Flavour::kMasked)
                                                          .AddFile(name + "1", BytesOf("x"))
                                                          .AddFile(name + c.second, BytesOf("y"))
                                                          .Build());
    const Bytes before = ReadFileBytes(archive);
    EXPECT_EQ(Delete(archive, name.substr(0, 259)), c.code) << c.second;
    EXPECT_EQ(ReadFileBytes(archive) == before, c.code != 0);
  }
}

// Replacing and deleting match names in the host's text: ASCII letters in
// any case, other letters exactly.
TEST_F(NamesTest, MembersAreMatchedByTheirListedNames) {
  const Name file = {"\u0159\u00e1d.txt", "\xF8\xE1" "d.txt"};
  const Name capital = {"\u0158\u00c1D.TXT", "\xD8\xC1" "D.TXT"};
  const std::string archive = dir_.File("match.kzr");
  WriteSource(HostText(file), "first");
  ASSERT_EQ(Pack(archive, "", HostText(file)), 0);

  const std::string ascii_capitals = HostText(file).substr(0, HostText(file).size() - 3) + "TXT";
  WriteSource(ascii_capitals, "second");
  ASSERT_EQ(Pack(archive, "", ascii_capitals), 0);
  int code = -1;
  EXPECT_EQ(Listed(archive, &code), std::vector<std::string>{ascii_capitals}) << "replaced";

  EXPECT_EQ(Delete(archive, HostText(capital)), 0);
  EXPECT_EQ(Listed(archive, &code).size(), 1u) << "other letters are compared exactly";
  EXPECT_EQ(Delete(archive, HostText(file)), 0);
  EXPECT_TRUE(Listed(archive, &code).empty());
}

// In the Japanese code page a character may end in a `\` byte (SO, TABLE)
// or in an ASCII letter's byte (A, DI), which is no separator and no letter:
// a file named TABLE is a file, a sub-path ending in SO gets a separator,
// and A and DI are two members. On Windows this runs where the ANSI code
// page is 932 (the cp932 test); on Linux through KZR_NAMES.
TEST_F(NamesTest, TwoByteCharactersAreNeverSplitOrFolded) {
#if defined(_WIN32)
  if (GetACP() != 932) GTEST_SKIP() << "needs the ANSI code page 932";
#else
  SetVariable("KZR_NAMES", "CP932");
#endif
  const Name so = {"\u30BD", "\x83\x5C"}, table = {"\u8868", "\x95\x5C"};
  const Name a = {"\u30A2.txt", "\x83\x41.txt"}, di = {"\u30C2.txt", "\x83\x61.txt"};
  const auto stored = [&](const Name& name) {
    return std::string(so.in_code_page) + "\\" + name.in_code_page;
  };
  const auto listed = [&](const Name& name) {
    return HostText(so) + HostName("\\") + HostText(name);
  };
  const std::string archive = dir_.File("cp932.kzr");
  for (const Name* name : {&table, &a, &di}) {
    WriteSource(HostText(*name), name->utf8);
    ASSERT_EQ(Pack(archive, HostText(so), HostText(*name)), 0) << name->utf8;
  }
  EXPECT_EQ(StoredNames(archive), (std::vector<std::string>{stored(table), stored(a), stored(di)}));
  int code = -1;
  EXPECT_EQ(Listed(archive, &code),
            (std::vector<std::string>{listed(di), listed(a), listed(table)}));

  ASSERT_EQ(Delete(archive, listed(a)), 0);
  EXPECT_EQ(StoredNames(archive), (std::vector<std::string>{stored(table), stored(di)}));
  ASSERT_EQ(Delete(archive, HostText(so) + HostName("\\*.*")), 0);
  EXPECT_TRUE(StoredNames(archive).empty());

  // 150 A (300 bytes) are listed cut between two characters: 129 of two
  // bytes, or 86 of three in UTF-8; either way 258 bytes.
  std::string long_name;
  for (int i = 0; i < 150; ++i) long_name += "\x83\x41";
  dir_.Write("long.kzr", ArchiveBuilder(Flavour::kMasked).AddFile(long_name, BytesOf("x")).Build());
  std::string cut;
  for (int i = 0; i < (kConverts ? 86 : 129); ++i) cut += kConverts ? "\u30A2" : "\x83\x41";
  EXPECT_EQ(Listed(dir_.File("long.kzr"), &code), std::vector<std::string>{cut});
}

// KZR_NAMES, else the INI key, else Windows-1250; read at every call. One
// stored byte, 0xE8, is a different letter in each code page used here.
TEST_F(NamesTest, CodePageComesFromKzrNamesThenTheIniKey) {
  const std::string archive =
      dir_.Write("e8.kzr", ArchiveBuilder(Flavour::kMasked).AddFile("\xE8", BytesOf("x")).Build());
  const std::string ini = dir_.File("host.ini");
  const auto write_ini = [&](const char* text) { std::ofstream(ini, std::ios::binary) << text; };

  const struct {
    const char* what;
    const char* variable;  // null: unset
    const char* ini_text;  // null: no INI file named
    const char* listed;    // in UTF-8; null: refused
  } cases[] = {
      {"the default", nullptr, nullptr, "\u010d"},
      {"KZR_NAMES", "CP1252", nullptr, "\u00e8"},
      {"the INI key", nullptr, "[other]\nnames=CP1252\n[KZR]\r\n; comment\r\n Names = CP1251 \r\n",
       "\u0438"},
      {"KZR_NAMES before the INI key", "CP1252", "[kzr]\nnames=CP1251\n", "\u00e8"},
      {"an empty KZR_NAMES", "", "[kzr]\nnames=CP1251\n", "\u0438"},
      {"an INI file without the key", nullptr, "[kzr]\nother=1\n", "\u010d"},
      {"an unknown code page", "NO-SUCH-CODE-PAGE", nullptr, nullptr},
      {"an unknown code page in the INI file", nullptr, "[kzr]\nnames=NO-SUCH\n", nullptr},
      {"a code page that changes ASCII", "UTF-16", nullptr, nullptr},
  };
  dir_.Write("src/f", BytesOf("f"));
  const Bytes before = ReadFileBytes(archive);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetVariable("KZR_NAMES", c.variable);
    if (c.ini_text != nullptr) write_ini(c.ini_text);
    SetIniFile(c.ini_text != nullptr ? ini : "");
    int code = -1;
    const std::vector<std::string> listed = Listed(archive, &code);
    if (!kConverts) {
      EXPECT_EQ(listed, std::vector<std::string>{"\xE8"}) << "the DLL converts nothing";
    } else if (c.listed != nullptr) {
      EXPECT_EQ(listed, std::vector<std::string>{c.listed});
    } else {
      EXPECT_EQ(code, 24);
      EXPECT_EQ(Pack(archive, "", "f"), 24);
      EXPECT_EQ(Delete(archive, "\xE8"), 24);
      EXPECT_EQ(ReadFileBytes(archive), before);
    }
  }
}

}  // namespace
}  // namespace kzr::test
