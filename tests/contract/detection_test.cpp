// Recognition by content and the capability word.
#include <gtest/gtest.h>

#include "support/archive_builder.h"
#include "support/plugin_under_test.h"
#include "support/temp_dir.h"

namespace kzr::test {
namespace {

int Recognise(const std::string& path) {
  std::vector<char> name(path.begin(), path.end());
  name.push_back('\0');
  return Plugin().CanYouHandleThisFile(name.data());
}

TEST(Detection, RecognisesArchivesOfBothFlavoursWhateverTheirName) {
  TempDir dir;
  const Bytes plain = ArchiveBuilder(Flavour::kPlain).AddFile("a", BytesOf("x")).Build();
  const Bytes masked = ArchiveBuilder(Flavour::kMasked).AddFile("a", BytesOf("x")).Build();
  EXPECT_EQ(Recognise(dir.Write("plain.kzr", plain)), 1);
  EXPECT_EQ(Recognise(dir.Write("masked.dat", masked)), 1);
}

TEST(Detection, LooksAtTheFirstEightBytesOnly) {
  TempDir dir;
  const Bytes exact = {'B', 'I', 'G', 'F', 1, 'Z', 'B', 'L'};
  EXPECT_EQ(Recognise(dir.Write("exact", exact)), 1) << "lengths are not checked";
  for (std::uint8_t flavour : {2, 255}) {
    Bytes odd = exact;
    odd[4] = flavour;
    EXPECT_EQ(Recognise(dir.Write("flavour", odd)), 1) << int{flavour};
  }
  EXPECT_EQ(Recognise(dir.Write("seven", {'B', 'I', 'G', 'F', 1, 'Z', 'B'})), 0);
  EXPECT_EQ(Recognise(dir.Write("shifted", {'B', 'I', 'G', 'F', 'Z', 'B', 'L', 0})), 0);
  EXPECT_EQ(Recognise(dir.Write("reversed", {'F', 'G', 'I', 'B', 1, 'Z', 'B', 'L'})), 0);
  EXPECT_EQ(Recognise(dir.Write("empty", {})), 0);
}

TEST(Detection, FoldersAndMissingFilesAreNotRecognised) {
  TempDir dir;
  EXPECT_EQ(Recognise(dir.path().string()), 0);
  EXPECT_EQ(Recognise(dir.File("missing")), 0);
}

// New, modify, multiple files, delete, by content, search text; and the
// options bit (16), which goes with ConfigurePacker and its About box, only
// in the Windows DLLs. All state lives in the handles, so the host may run
// several operations at once.
TEST(Capabilities, AreEditingAndSearchingPlusOptionsOnWindows) {
#if defined(_WIN32)
  EXPECT_EQ(Plugin().GetPackerCaps(), 223);
#else
  EXPECT_EQ(Plugin().GetPackerCaps(), 207);
#endif
  KZR_NEEDS_EXPORT(GetBackgroundFlags);
  EXPECT_EQ(Plugin().GetBackgroundFlags(), 3) << "unpacking and packing in threads of the host's";
}

}  // namespace
}  // namespace kzr::test
