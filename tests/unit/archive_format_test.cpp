// Header acceptance, detection and the directory key chain, against bytes
// written out by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "archive/archive_header.h"
#include "archive/key_chain.h"
#include "support/archive_builder.h"

namespace kzr {
namespace {

ArchiveHeader HeaderFrom(std::initializer_list<std::uint8_t> bytes) {
  ArchiveHeader header{};
  std::copy(bytes.begin(), bytes.end(), header.bytes);
  return header;
}

// "BIGF", flavour, "ZBL", ArchiveLength 100, EntryCount 3, DirectoryOffset 60,
// DirectoryLength 40.
ArchiveHeader SampleHeader(std::uint8_t flavour) {
  return HeaderFrom({'B', 'I', 'G', 'F', flavour, 'Z', 'B', 'L', 100, 0, 0, 0, 0, 0, 0, 0,
                     3, 0, 0, 0, 60, 0, 0, 0, 0, 0, 0, 0, 40, 0, 0, 0});
}

TEST(ArchiveHeader, ReadsFieldsLittleEndian) {
  const ArchiveHeader header = SampleHeader(1);
  EXPECT_EQ(header.Magic(), 0x46474942u);
  EXPECT_EQ(header.VersionTag(), 0x4C425A01u);
  EXPECT_TRUE(header.IsMasked());
  EXPECT_EQ(header.ArchiveLength(), 100u);
  EXPECT_EQ(header.EntryCount(), 3u);
  EXPECT_EQ(header.DirectoryOffset(), 60u);
  EXPECT_EQ(header.DirectoryLength(), 40u);
}

TEST(ArchiveHeader, AcceptanceChecksEachRule) {
  EXPECT_EQ(CheckHeader(SampleHeader(0), 52, 100), HeaderCheck::kAccepted);
  EXPECT_EQ(CheckHeader(SampleHeader(1), 52, 100), HeaderCheck::kAccepted);
  EXPECT_NE(CheckHeader(SampleHeader(1), 51, 100), HeaderCheck::kAccepted);
  EXPECT_NE(CheckHeader(SampleHeader(2), 52, 100), HeaderCheck::kAccepted);
  EXPECT_NE(CheckHeader(SampleHeader(1), 52, 101), HeaderCheck::kAccepted);
  ArchiveHeader wrapped = SampleHeader(1);
  wrapped.bytes[23] = 0x80;  // offset 0x8000003C
  wrapped.bytes[31] = 0x80;  // length 0x80000028: the sum is 100 only mod 2^32
  EXPECT_NE(CheckHeader(wrapped, 52, 100), HeaderCheck::kAccepted);
}

TEST(ArchiveHeader, CheckNamesTheFirstRuleBroken) {
  EXPECT_EQ(CheckHeader(SampleHeader(1), 52, 100), HeaderCheck::kAccepted);
  EXPECT_EQ(CheckHeader(SampleHeader(1), 51, 100), HeaderCheck::kShortHeader);
  ArchiveHeader text = SampleHeader(1);
  text.bytes[0] = 'b';
  EXPECT_EQ(CheckHeader(text, 52, 100), HeaderCheck::kBadMagic);
  EXPECT_EQ(CheckHeader(SampleHeader(2), 52, 100), HeaderCheck::kBadVersionTag);
  EXPECT_EQ(CheckHeader(SampleHeader(1), 52, 60), HeaderCheck::kLengthMismatch);
  ArchiveHeader huge = SampleHeader(1);
  huge.bytes[11] = 0x80;  // ArchiveLength 0x80000064, as long as the file
  EXPECT_EQ(CheckHeader(huge, 52, 0x80000064), HeaderCheck::kTooLong);
  ArchiveHeader short_directory = SampleHeader(1);
  short_directory.bytes[28] -= 1;
  EXPECT_EQ(CheckHeader(short_directory, 52, 100), HeaderCheck::kDirectoryMismatch);
}

TEST(ArchiveHeader, MaskedHeaderLayout) {
  const ArchiveHeader header = MakeHeader(Flavour::kMasked, 200, 2, 150);
  const std::uint8_t expected[52] = {
      'B', 'I', 'G', 'F', 1, 'Z', 'B', 'L', 200, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 150, 0, 0, 0,
      0, 0, 0, 0, 50, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
      0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE};
  EXPECT_EQ(std::memcmp(header.bytes, expected, 52), 0);
}

TEST(Signature, NeedsMagicAndTagButNotFlavour) {
  const std::uint8_t good[8] = {'B', 'I', 'G', 'F', 7, 'Z', 'B', 'L'};
  EXPECT_TRUE(HasArchiveSignature(good, 8));
  EXPECT_FALSE(HasArchiveSignature(good, 7));
}

// An empty-named record of zeros: RecordLength 41 starts the chain at index 9
// (0x7E); every later key is chosen by the low nibble of the byte stored before.
TEST(KeyChain, MasksAnEmptyNamedRecordAsWorkedOutByHand) {
  std::uint8_t run[41] = {};
  MaskChained(run, sizeof run, 41);
  const std::uint8_t expected_head[12] = {0x7E, 0xD6, 0xC4, 0x18, 0xA0, 0x5C,
                                          0x8B, 0xF5, 0x6D, 0x41, 0x0B, 0xF5};
  EXPECT_EQ(std::memcmp(run, expected_head, sizeof expected_head), 0);
  // From byte 7 on the chain cycles F5 6D 41 0B.
  EXPECT_EQ(run[40], expected_head[7 + (40 - 7) % 4]);
}

TEST(KeyChain, StartsFromTheLowNibbleOfTheRecordLength) {
  std::uint8_t byte = 0;
  MaskChained(&byte, 1, 42);
  EXPECT_EQ(byte, 0x23);  // table index 10
  byte = 0;
  MaskChained(&byte, 1, 0x1234);
  EXPECT_EQ(byte, 0x18);  // index 4: only the low nibble counts
}

TEST(KeyChain, UnmaskingUndoesMasking) {
  std::uint8_t bytes[64], original[64];
  for (int i = 0; i < 64; ++i) bytes[i] = original[i] = static_cast<std::uint8_t>(i * 37 + 5);
  MaskChained(bytes, 64, 64);
  UnmaskChained(bytes, 64, 64);
  EXPECT_EQ(std::memcmp(bytes, original, 64), 0);
}

}  // namespace
}  // namespace kzr
