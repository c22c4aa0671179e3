// Round trips through the exports: random sets of files packed with
// PackFiles, then opened, listed and extracted back to identical bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <thread>

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

std::vector<std::u16string> g_wide_names;

int KZR_API RecordWideName(WideChar* name, int) {
  g_wide_names.emplace_back(name);
  return 1;
}

// The wide exports, which a host calls in place of the ANSI ones: names in
// UTF-16, with `\` between folders, through a whole round trip; the extended
// record carries the whole name and is written no further than FileAttr.
TEST(RoundTrip, TheWideExportsTakeAndGiveUtf16) {
  KZR_NEEDS_EXPORT(OpenArchiveW);
  namespace fs = std::filesystem;
  TempDir dir;
  const std::u16string file = u"\u017elu\u0165ou\u010dk\u00fd.txt";
  std::u16string sub = u"P\u0159\u00edli\u0161";
  fs::create_directories(dir.path() / "src");
  std::ofstream(dir.path() / "src" / fs::path(file), std::ios::binary) << "contents";
  std::u16string archive = (dir.path() / "w.kzr").u16string();
  std::u16string source = (dir.path() / "src" / "").u16string();
  std::u16string list = file + u'\0' + u'\0';
  ASSERT_EQ(Plugin().PackFilesW(archive.data(), sub.data(), source.data(), list.data(), 0), 0);
  EXPECT_EQ(Plugin().CanYouHandleThisFileW(archive.data()), 1);

  host::OpenArchiveRecordW open{};
  open.ArchiveName = archive.c_str();
  host::Handle handle = Plugin().OpenArchiveW(&open);
  ASSERT_NE(handle, nullptr) << open.OpenResult;
  g_wide_names.clear();
  Plugin().SetProcessDataProcW(handle, RecordWideName);
  const auto record = std::make_unique<host::HeaderRecordExW>();
  std::memset(record.get(), 0xAB, sizeof *record);
  ASSERT_EQ(Plugin().ReadHeaderExW(handle, record.get()), 0);
  const std::u16string listed = sub + u"\\" + file;
  EXPECT_EQ(std::u16string(record->FileName), listed);
  EXPECT_EQ(record->UnpSize, 8u);
  EXPECT_EQ(record->PackSizeHigh + record->UnpSizeHigh, 0u);
  const auto* after = reinterpret_cast<const unsigned char*>(&record->FileAttr + 1);
  EXPECT_TRUE(std::all_of(after, reinterpret_cast<const unsigned char*>(record.get() + 1),
                          [](unsigned char byte) { return byte == 0xAB; }));
  std::u16string out = (dir.path() / "out.txt").u16string();
  ASSERT_EQ(Plugin().ProcessFileW(handle, 2, nullptr, out.data()), 0);
  EXPECT_EQ(ReadFileBytes(dir.File("out.txt")), BytesOf("contents"));
  EXPECT_EQ(g_wide_names, std::vector<std::u16string>(2, listed));
  Plugin().CloseArchive(handle);

  std::u16string doomed = listed + u'\0' + u'\0';
  ASSERT_EQ(Plugin().DeleteFilesW(archive.data(), doomed.data()), 0);
  int code = -1;
  EXPECT_TRUE(ListArchive(dir.File("w.kzr"), &code).entries.empty());
}

// Paths in any script and of any length, through the wide exports: a Greek
// folder more than 600 characters deep is packed from and extracted to.
// Names the code page cannot hold are refused; stored bytes it leaves
// undefined are shown and reached; long names are listed and deleted whole.
TEST(RoundTrip, TheWideExportsReachAnyPathAndKeepNamesWhole) {
  KZR_NEEDS_EXPORT(OpenArchiveW);
  namespace fs = std::filesystem;
  TempDir dir;
  fs::path deep = dir.path() / fs::path(u"\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac");
  while (deep.u16string().size() < 600) deep /= std::string(60, 'd');
  // The test reaches its own files in the long form; the plugin is given
  // plain paths, as a host gives them.
  const auto own = [](const fs::path& path) {
#if defined(_WIN32)
    return fs::path(L"\\\\?\\" + path.wstring());
#else
    return path;
#endif
  };
  const auto read = [&](const fs::path& path) {
    std::ifstream in(own(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  fs::create_directories(own(deep / "src"));
  std::ofstream(own(deep / "src" / "a.txt"), std::ios::binary) << "alpha";
  std::u16string archive = (deep / "g.kzr").u16string();
  std::u16string source = (deep / "src" / "").u16string();
  std::u16string list = std::u16string(u"a.txt") + u'\0' + u'\0';
  ASSERT_EQ(Plugin().PackFilesW(archive.data(), nullptr, source.data(), list.data(), 0), 0);
  const std::string packed = read(deep / "g.kzr");
  ASSERT_FALSE(packed.empty());

  std::ofstream(own(deep / "src" / fs::path(u"\u03a9.txt")), std::ios::binary) << "omega";
  std::u16string greek = std::u16string(u"\u03a9.txt") + u'\0' + u'\0';
  EXPECT_EQ(Plugin().PackFilesW(archive.data(), nullptr, source.data(), greek.data(), 0), 24);
  EXPECT_EQ(read(deep / "g.kzr"), packed) << "refused whole";

  host::OpenArchiveRecordW open{};
  open.ArchiveName = archive.c_str();
  host::Handle handle = Plugin().OpenArchiveW(&open);
  ASSERT_NE(handle, nullptr) << open.OpenResult;
  const auto record = std::make_unique<host::HeaderRecordExW>();
  ASSERT_EQ(Plugin().ReadHeaderExW(handle, record.get()), 0);
  std::u16string out = (deep / "out.txt").u16string();
  ASSERT_EQ(Plugin().ProcessFileW(handle, 2, nullptr, out.data()), 0);
  Plugin().CloseArchive(handle);
  EXPECT_EQ(read(deep / "out.txt"), "alpha");

  const std::string long_name = std::string(300, 'n') + "\\x.txt";
  const std::string stored = dir.Write("s.kzr", ArchiveBuilder()
                                                    .AddFile("caf\x81.txt", BytesOf("?"))
                                                    .AddFile(long_name, BytesOf("long"))
                                                    .Build());
  std::u16string other = fs::path(stored).u16string();
  open.ArchiveName = other.c_str();
  handle = Plugin().OpenArchiveW(&open);
  ASSERT_NE(handle, nullptr) << open.OpenResult;
  ASSERT_EQ(Plugin().ReadHeaderExW(handle, record.get()), 0);
  const std::u16string whole(record->FileName);
  EXPECT_EQ(whole, std::u16string(300, u'n') + u"\\x.txt");
  ASSERT_EQ(Plugin().ReadHeaderExW(handle, record.get()), 0);
  const std::u16string marked(record->FileName);
  EXPECT_EQ(marked, u"caf\ufffd81.txt");
  Plugin().CloseArchive(handle);
  std::u16string doomed = whole + u'\0' + marked + u'\0' + u'\0';
  ASSERT_EQ(Plugin().DeleteFilesW(other.data(), doomed.data()), 0);
  int code = -1;
  EXPECT_TRUE(ListArchive(stored, &code).entries.empty());
}

std::atomic<int> g_calls{0};
int KZR_API CountCall(char*, int) {
  ++g_calls;
  return 1;
}

// Hosts that run archive work in threads of their own (GetBackgroundFlags)
// call in from several threads at once, each on its own handle or archive.
TEST(RoundTrip, SeveralThreadsExtractAndPackAtOnce) {
  TempDir dir;
  std::string list;
  std::vector<Bytes> contents;
  for (int i = 0; i < 24; ++i) {
    contents.push_back(RandomBytes(1000 + 5000 * i, static_cast<std::uint32_t>(i)));
    const std::string name = std::string("f").append(std::to_string(i)).append(".bin");
    dir.Write("src/" + name, contents.back());
    list.append(name).push_back('\0');
  }
  list += '\0';
  const std::string source = (dir.path() / "src").string() + kSeparator;
  const auto pack = [&](const std::string& name) {
    std::string archive = dir.File(name), folder = source, items = list;
    return Plugin().PackFiles(archive.data(), nullptr, folder.data(), items.data(), 0);
  };
  ASSERT_EQ(pack("shared.kzr"), 0);
  Plugin().SetProcessDataProc(reinterpret_cast<host::Handle>(-1), CountCall);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      int code = -1;
      host::Handle handle = OpenForList(dir.File("shared.kzr"), &code);
      if (handle == nullptr) return void(++failures);
      Plugin().SetProcessDataProc(handle, CountCall);
      host::HeaderRecord record;
      for (int i = 23; Plugin().ReadHeader(handle, &record) == 0; --i) {
        std::string out = dir.File(std::string("out").append(std::to_string(t)));
        if (Plugin().ProcessFile(handle, 2, nullptr, out.data()) != 0 ||
            ReadFileBytes(out) != contents[static_cast<std::size_t>(i)]) {
          ++failures;
        }
      }
      Plugin().CloseArchive(handle);
    });
  }
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&, t] {
      int code = -1;
      const std::string name = std::string("new").append(std::to_string(t)).append(".kzr");
      if (pack(name) != 0 || ListArchive(dir.File(name), &code).entries.size() != 24) {
        ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_GT(g_calls.load(), 0);
  Plugin().SetProcessDataProc(reinterpret_cast<host::Handle>(-1), nullptr);
}

}  // namespace
}  // namespace kzr::test
