// The rules for entries' names (cleaning, matching keys, joining, whole
// folders) and the UTF-8 and UTF-16 text they travel in.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "archive/entry_names.h"
#include "base/utf8.h"

namespace kzr {
namespace {

// Names dense in separators, dots and drive colons, so that every way a
// component can be empty, "." or ".." turns up: a name is clean exactly when
// cleaning leaves it as it is (but for `/`, which becomes `\`), and a
// cleaned name is clean.
TEST(EntryNames, ANameIsCleanExactlyWhenCleaningKeepsIt) {
  std::mt19937 random(4242);
  const std::string alphabet = "ab\\/.:C";
  for (int round = 0; round < 20000; ++round) {
    std::string name(random() % 12, ' ');
    for (char& c : name) c = alphabet[random() % alphabet.size()];
    const std::string clean = CleanName(name);
    ASSERT_EQ(IsCleanName(name), clean == ExactKey(name)) << name;
    ASSERT_TRUE(IsCleanName(clean)) << name << " -> " << clean;
  }
}

TEST(EntryNames, KeysJoinsAndWholeFolders) {
  EXPECT_EQ(ExactKey("Dir/Sub\\A.txt"), "Dir\\Sub\\A.txt");
  EXPECT_EQ(FoldedKey("Dir/\xC3\x81.TXT"), "dir\\\xC3\x81.txt") << "ASCII letters only";

  const struct {
    const char* sub_path;
    const char* item;
    const char* stored;
  } joins[] = {
      {"", "a/b", "a\\b"},    {"sub", "x", "sub\\x"},  {"sub\\", "x", "sub\\x"},
      {"sub/", "x", "sub\\x"}, {"a/b", "c/d", "a\\b\\c\\d"},
  };
  for (const auto& join : joins) EXPECT_EQ(JoinSubPath(join.sub_path, join.item), join.stored);

  EXPECT_EQ(WholeFolderItem("dir\\*.*"), "dir\\");
  EXPECT_EQ(WholeFolderItem("a/b/*.*"), "a/b/");
  for (const char* item : {"*.*", "dir*.*", "dir\\*", "dir\\x.*"}) {
    EXPECT_FALSE(WholeFolderItem(item)) << item;
  }
}

// Random code points, some of four bytes, through UTF-8 and UTF-16 and back;
// cuts never split a character or a surrogate pair.
TEST(Utf8, RoundTripsThroughUtf16AndCutsBetweenCharacters) {
  std::mt19937 random(77);
  const char32_t ranges[][2] = {{0x20, 0x7F}, {0x80, 0x7FF}, {0xE000, 0xFFFF}, {0x10000, 0x10FFFF}};
  for (int round = 0; round < 500; ++round) {
    std::string text;
    for (std::size_t i = random() % 20; i > 0; --i) {
      const auto& range = ranges[random() % 4];
      utf8::Append(range[0] + random() % (range[1] - range[0]), text);
    }
    ASSERT_TRUE(utf8::IsValid(text));
    const std::u16string wide = utf8::ToUtf16(text);
    std::string back;
    ASSERT_TRUE(utf8::FromUtf16(wide, back));
    ASSERT_EQ(back, text);
    for (std::size_t limit = 0; limit <= text.size(); ++limit) {
      const std::size_t cut = utf8::CutPoint(text, limit);
      ASSERT_LE(cut, limit);
      ASSERT_TRUE(utf8::IsValid(text.substr(0, cut))) << limit;
      ASSERT_GT(cut + 4, limit) << "no more than one character is dropped";
    }
    for (std::size_t limit = 0; limit <= wide.size(); ++limit) {
      std::string start;
      ASSERT_TRUE(utf8::FromUtf16(wide.substr(0, utf8::Utf16CutPoint(wide, limit)), start));
    }
  }
  // A byte that starts no character stands for itself, and shows as U+FFFD.
  std::size_t length = 0;
  EXPECT_EQ(utf8::Decode("\xE9x", 0, length), char32_t{0xDCE9});
  EXPECT_EQ(length, 1u);
  EXPECT_FALSE(utf8::IsValid("caf\xE9"));
  EXPECT_EQ(utf8::ToUtf16("caf\xE9"), u"caf\uFFFD");
  std::string out;
  EXPECT_FALSE(utf8::FromUtf16(u"a\xD800", out)) << "an unpaired surrogate";
}

}  // namespace
}  // namespace kzr
