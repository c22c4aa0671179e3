// The directory index over both flavours, straight on directory bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "archive/directory_index.h"
#include "support/archive_builder.h"

namespace kzr {
namespace {

using test::Bytes;
using test::Flavour;

std::unique_ptr<DirectoryIndex> IndexOver(const Bytes& directory, bool masked) {
  std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[directory.size() + DirectoryIndex::kSlack]());
  if (!directory.empty()) std::memcpy(copy.get(), directory.data(), directory.size());
  return DirectoryIndex::Build(std::move(copy), static_cast<std::uint32_t>(directory.size()),
                               masked);
}

// The names in directory order.
std::vector<std::string> Names(const DirectoryIndex& index) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < index.EntryCount(); ++i) names.emplace_back(index.EntryAt(i).Name());
  return names;
}

class DirectoryIndexTest : public ::testing::TestWithParam<Flavour> {
 protected:
  bool masked() const { return GetParam() == Flavour::kMasked; }
  Bytes Directory(std::initializer_list<test::RecordSpec> records) {
    test::ArchiveBuilder builder(GetParam());
    for (const auto& record : records) builder.AddRecord(record);
    return builder.BuildDirectory(52);
  }
};

TEST_P(DirectoryIndexTest, HoldsTheEntriesInDirectoryOrder) {
  auto index = IndexOver(Directory({{.name = "P"}, {.name = "Q"}, {.name = "R"}}), masked());
  ASSERT_TRUE(index);
  EXPECT_EQ(Names(*index), (std::vector<std::string>{"P", "Q", "R"}));
  EXPECT_FALSE(index->IsDamaged());

  auto empty = IndexOver({}, masked());
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->EntryCount(), 0u);
  EXPECT_FALSE(empty->IsDamaged());
}

TEST_P(DirectoryIndexTest, FieldsReadTheSameInBothFlavours) {
  auto index = IndexOver(Directory({{.name = "", .uncompressed_size = 7},
                                    {.name = "dir\\long name.bin", .uncompressed_size = 0x01020304,
                                     .compressed_size = 0x0A0B0C0D, .compressed = 256,
                                     .data_offset = 0xDEADBEEF}}),
                         masked());
  ASSERT_TRUE(index);
  ASSERT_EQ(index->EntryCount(), 2u);
  const EntryView last = index->EntryAt(1);
  EXPECT_STREQ(last.Name(), "dir\\long name.bin");
  EXPECT_EQ(last.DataOffset(), 0xDEADBEEFu);
  EXPECT_EQ(last.UncompressedSize(), 0x01020304u);
  EXPECT_EQ(last.CompressedSize(), 0x0A0B0C0Du);
  EXPECT_TRUE(last.IsCompressed());
  EXPECT_EQ(last.StoredSize(), 0x0A0B0C0Du);
  const EntryView first = index->EntryAt(0);
  EXPECT_STREQ(first.Name(), "");
  EXPECT_EQ(first.DataOffset(), 52u);
  EXPECT_FALSE(first.IsCompressed());
  EXPECT_EQ(first.StoredSize(), 7u);
}

INSTANTIATE_TEST_SUITE_P(BothFlavours, DirectoryIndexTest,
                         ::testing::Values(Flavour::kPlain, Flavour::kMasked),
                         [](const auto& info) {
                           return info.param == Flavour::kPlain ? "Plain" : "Masked";
                         });

TEST(DirectoryIndexFraming, EmptyNamedRecordsTake43MaskedOr41PlainBytes) {
  const test::RecordSpec empty{.name = ""};
  EXPECT_EQ(test::EncodeRecord(Flavour::kMasked, empty, 52).size(), 43u);
  EXPECT_EQ(test::EncodeRecord(Flavour::kPlain, empty, 52).size(), 41u);
  Bytes masked = test::EncodeRecord(Flavour::kMasked, empty, 52);
  EXPECT_EQ(masked[0], 41);
  EXPECT_EQ(masked[1], 0);
}

// The walk must never touch a byte outside the directory copy: ASan sees the
// exact-size heap buffer, so an overrun here fails the test run.
TEST(DirectoryIndexLimits, OverlongLastMaskedRecordStopsTheWalk) {
  Bytes directory = test::EncodeRecord(Flavour::kMasked, {.name = "ok"}, 52);
  const Bytes tail = {0xFF, 0xFF, 1, 2, 3};
  directory.insert(directory.end(), tail.begin(), tail.end());
  auto index = IndexOver(directory, true);
  ASSERT_TRUE(index);
  EXPECT_EQ(index->EntryCount(), 1u);
  EXPECT_TRUE(index->IsDamaged());
  EXPECT_EQ(directory.back(), 3) << "the source is untouched; the copy is the index's";
}

TEST(DirectoryIndexLimits, PlainRecordWhoseNameRunsToTheEnd) {
  Bytes directory = test::EncodeRecord(Flavour::kPlain, {.name = "ok"}, 52);
  directory.insert(directory.end(), 45, 'z');
  auto index = IndexOver(directory, false);
  ASSERT_TRUE(index);
  EXPECT_EQ(index->EntryCount(), 1u);
  EXPECT_TRUE(index->IsDamaged());
}

// Names of every length across several eight-byte words, with bytes that have
// the high bit set or sit just above zero, each followed by a fixed block full
// of zeros: every name ends at its own NUL and nowhere else.
TEST(DirectoryIndexFraming, PlainNamesOfEveryLengthEndAtTheirNul) {
  test::ArchiveBuilder builder(Flavour::kPlain);
  std::vector<std::string> names;
  for (std::size_t length = 0; length <= 70; ++length) {
    std::string name;
    for (std::size_t i = 0; i < length; ++i) name += "a\x01\x80\xFF\\z"[i % 6];
    names.push_back(name);
    builder.AddRecord({.name = name});
  }
  auto index = IndexOver(builder.BuildDirectory(52), false);
  ASSERT_TRUE(index);
  EXPECT_FALSE(index->IsDamaged());
  EXPECT_EQ(Names(*index), names);
}

TEST(DirectoryIndexLimits, PlainNameWithoutNulStopsTheWalkWhateverItsLength) {
  for (std::size_t unterminated = 1; unterminated <= 20; ++unterminated) {
    Bytes directory = test::EncodeRecord(Flavour::kPlain, {.name = "ok"}, 52);
    directory.insert(directory.end(), 40, 0);
    directory.insert(directory.end(), unterminated, 'z');
    auto index = IndexOver(directory, false);
    ASSERT_TRUE(index);
    EXPECT_EQ(index->EntryCount(), 1u) << unterminated << " bytes after the last fixed block";
    EXPECT_TRUE(index->IsDamaged());
  }
}

// A masked name ends at the first NUL of its record, which need not be the
// record's last byte; a record with no NUL after its fixed block ends the walk.
TEST(DirectoryIndexLimits, MaskedNameEndsAtTheFirstNulOfItsRecord) {
  Bytes run(40, 0);
  const std::string name_bytes("ab\0cd", 5);
  run.insert(run.end(), name_bytes.begin(), name_bytes.end());
  Bytes directory = test::FrameMaskedRun(run);
  Bytes no_nul(40, 0);
  no_nul.insert(no_nul.end(), {'x', 'y'});
  const Bytes bad = test::FrameMaskedRun(no_nul);
  directory.insert(directory.end(), bad.begin(), bad.end());

  auto index = IndexOver(directory, true);
  ASSERT_TRUE(index);
  EXPECT_EQ(Names(*index), std::vector<std::string>{"ab"});
  EXPECT_EQ(index->EntryAt(0).NameLength(), 2u);
  EXPECT_TRUE(index->IsDamaged());
}

// Names of every length up to past the listing's 259 bytes, in both
// flavours: each entry's measured length is where its name's NUL is.
TEST_P(DirectoryIndexTest, NamesOfEveryLengthAreMeasured) {
  test::ArchiveBuilder builder(GetParam());
  std::vector<std::string> names;
  for (std::size_t length = 0; length <= 300; ++length) {
    std::string name;
    for (std::size_t i = 0; i < length; ++i) name += "a\x01\x80\xFF\\z"[i % 6];
    names.push_back(name);
  }
  std::reverse(names.begin() + 250, names.end());  // long ones at both ends
  for (const std::string& name : names) builder.AddRecord({.name = name});
  const Bytes directory = builder.BuildDirectory(52);
  auto index = IndexOver(directory, masked());
  ASSERT_TRUE(index);
  EXPECT_FALSE(index->IsDamaged());
  ASSERT_EQ(index->EntryCount(), names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    const EntryView entry = index->EntryAt(i);
    ASSERT_EQ(entry.NameLength(), names[i].size());
    ASSERT_EQ(std::string(entry.Name()), names[i]);
  }
}

}  // namespace
}  // namespace kzr
