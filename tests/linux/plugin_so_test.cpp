// The Linux plugin kzr.wcx as Double Commander uses it: loaded with dlopen and
// driven through the exports found with dlsym. Besides the archive behaviour
// the contract tests check everywhere, the Linux host's own rules: no
// ConfigurePacker and no options bit, and `/` between folder names in what
// the host is shown and hands over, while archives keep `\`.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "linux/plugin_so.h"
#include "support/archive_builder.h"
#include "support/host_session.h"
#include "support/temp_dir.h"

namespace kzr::test {
namespace {

TEST(LinuxPluginExports, AreTheNinePortableNamesAndNothingElse) {
  for (const char* name :
       {"CanYouHandleThisFile", "CloseArchive", "DeleteFiles", "GetPackerCaps", "OpenArchive", "PackFiles",
        "ProcessFile", "ReadHeader", "SetChangeVolProc", "SetProcessDataProc"}) {
    EXPECT_NE(PluginSymbol(name), nullptr) << name;
  }
  EXPECT_EQ(PluginSymbol("ConfigurePacker"), nullptr) << "no About box on Linux";
  // The plugin's own functions stay inside it.
  EXPECT_EQ(PluginSymbol("_ZN3kzr12PackFileListEPKcS1_S1_S1_"), nullptr);
  EXPECT_EQ(PluginSymbol("_ZN3kzr14ReadNextHeaderERNS_13ArchiveHandleERNS_4host12HeaderRecordE"),
            nullptr);
}

TEST(LinuxPluginExports, CapabilitiesLeaveOutTheOptionsDialog) {
  EXPECT_EQ(Plugin().GetPackerCaps(), 1 + 2 + 4 + 8 + 64 + 128);
}

TEST(LinuxPluginListing, ShowsStoredBackslashesAsSlashes) {
  TempDir dir;
  for (Flavour flavour : {Flavour::kPlain, Flavour::kMasked}) {
    SCOPED_TRACE(flavour == Flavour::kPlain ? "plain" : "masked");
    const std::string path = dir.Write(
        "a.kzr", ArchiveBuilder(flavour)
                     .AddFile("top.bin", BytesOf("t"))
                     .AddFile("dir\\sub\\a.txt", BytesOf("12345"))
                     .AddFile("ini\\dat\\units.ini", BytesOf("[u]"))
                     .Build());
    int code = -1;
    const Listing listing = ListArchive(path, &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(listing.end_code, 10);
    const std::vector<ListedEntry> expected = {
        {"ini/dat/units.ini", 3, 3}, {"dir/sub/a.txt", 5, 5}, {"top.bin", 1, 1}};
    EXPECT_EQ(listing.entries, expected);
  }
}

TEST(LinuxPluginListing, ConvertsTheCutNameUpToTheEndOfTheField) {
  TempDir dir;
  std::string stored;
  while (stored.size() < 300) stored += "d\\";
  const std::string path =
      dir.Write("long.kzr", ArchiveBuilder().AddFile(stored, BytesOf("x")).Build());
  int code = -1;
  const Listing listing = ListArchive(path, &code);
  ASSERT_EQ(listing.entries.size(), 1u);
  std::string shown = stored.substr(0, 259);
  for (char& c : shown) c = c == '\\' ? '/' : c;
  EXPECT_EQ(listing.entries[0].name, shown);
}

// What the progress callback was handed, in call order.
std::vector<std::pair<std::string, int>> g_progress;

int Progress(char* name, int size) {
  g_progress.emplace_back(name != nullptr ? name : "(null)", size);
  return 1;
}

// Lists and extracts every entry to `out` + its listed name with the folder
// separators made plain, the way the host walks an archive.
std::vector<std::string> ExtractAll(const std::string& archive, const std::string& out) {
  int code = -1;
  host::ArchiveHandle handle = OpenForList(archive, &code);
  EXPECT_NE(handle, nullptr);
  if (handle == nullptr) return {};
  Plugin().SetProcessDataProc(handle, &Progress);
  std::vector<std::string> names;
  for (;;) {
    host::HeaderRecord record = FreshHeaderRecord();
    if (Plugin().ReadHeader(handle, &record) != 0) break;
    names.emplace_back(record.FileName);
    std::string flat = names.back();
    for (char& c : flat) c = c == '/' ? '_' : c;
    std::string dest = out + "/" + flat;
    EXPECT_EQ(Plugin().ProcessFile(handle, 2, nullptr, dest.data()), 0) << names.back();
  }
  Plugin().CloseArchive(handle);
  return names;
}

TEST(LinuxPluginExtraction, RestoresMembersWhoseNamesWereShownConverted) {
  TempDir dir;
  const Bytes ini = RandomBytes(700, 1);
  const Bytes text = RandomBytes(300, 2);
  // In a masked archive the ini\dat\ layer is chosen by the stored name: it
  // must still read with `\` after the listing showed `/`.
  const std::string archive = dir.Write("m.kzr", ArchiveBuilder(Flavour::kMasked)
                                                     .AddFile("ini\\dat\\units.ini", ini)
                                                     .AddFile("docs\\read.me", text)
                                                     .Build());
  std::filesystem::create_directories(dir.path() / "out");
  g_progress.clear();
  const std::vector<std::string> names = ExtractAll(archive, dir.File("out"));
  EXPECT_EQ(names, (std::vector<std::string>{"docs/read.me", "ini/dat/units.ini"}));
  EXPECT_EQ(ReadFileBytes(dir.File("out/docs_read.me")), text);
  EXPECT_EQ(ReadFileBytes(dir.File("out/ini_dat_units.ini")), ini);
  // The callback is handed the entry's name in the directory, which keeps `\`.
  const std::vector<std::pair<std::string, int>> progress = {
      {"docs\\read.me", 0}, {"docs\\read.me", 300},
      {"ini\\dat\\units.ini", 0}, {"ini\\dat\\units.ini", 700}};
  EXPECT_EQ(g_progress, progress);
}

// A host add list: names separated by NULs, closed by an empty name.
std::string AddList(std::initializer_list<std::string> names) {
  std::string list;
  for (const std::string& name : names) list += name + '\0';
  return list + '\0';
}

int Pack(const std::string& archive, const char* sub_path, const std::string& source,
         const std::string& list) {
  std::string archive_path = archive, sub = sub_path != nullptr ? sub_path : "",
              source_path = source, items = list;
  return Plugin().PackFiles(archive_path.data(), sub_path != nullptr ? sub.data() : nullptr,
                            source_path.data(), items.data(), 0);
}

TEST(LinuxPluginPacking, StoresSlashesAsBackslashesAndReadsItemsAsGiven) {
  TempDir dir;
  const Bytes ini = RandomBytes(500, 3);
  const Bytes text = RandomBytes(40, 4);
  dir.Write("src/ini/dat/units.ini", ini);
  dir.Write("src/docs/read.me", text);
  const std::string source = dir.File("src") + "/";

  // Stored exactly as an archive written with `\` names: the same masks
  // (the ini\dat\ layer too), the same records.
  ASSERT_EQ(Pack(dir.File("root.kzr"), nullptr, source,
                 AddList({"ini/", "ini/dat/", "ini/dat/units.ini", "docs/", "docs/read.me"})),
            0);
  EXPECT_EQ(ReadFileBytes(dir.File("root.kzr")), ArchiveBuilder(Flavour::kMasked)
                                                     .AddFile("ini\\dat\\units.ini", ini)
                                                     .AddFile("docs\\read.me", text)
                                                     .Build());

  // A sub-path given with `/` is stored with `\` as well.
  ASSERT_EQ(Pack(dir.File("sub.kzr"), "base/ini/", source, AddList({"docs/read.me"})), 0);
  EXPECT_EQ(ReadFileBytes(dir.File("sub.kzr")),
            ArchiveBuilder(Flavour::kMasked).AddFile("base\\ini\\docs\\read.me", text).Build());

  // And the plugin lists and extracts what it packed.
  std::filesystem::create_directories(dir.path() / "out");
  const std::vector<std::string> names = ExtractAll(dir.File("root.kzr"), dir.File("out"));
  EXPECT_EQ(names, (std::vector<std::string>{"docs/read.me", "ini/dat/units.ini"}));
  EXPECT_EQ(ReadFileBytes(dir.File("out/ini_dat_units.ini")), ini);
  EXPECT_EQ(ReadFileBytes(dir.File("out/docs_read.me")), text);
}

}  // namespace
}  // namespace kzr::test
