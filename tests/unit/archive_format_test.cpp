// Header acceptance, detection and the directory key chain, against bytes
// written out by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
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
  EXPECT_TRUE(IsAcceptableHeader(SampleHeader(0), 52, 100));
  EXPECT_TRUE(IsAcceptableHeader(SampleHeader(1), 52, 100));
  EXPECT_FALSE(IsAcceptableHeader(SampleHeader(1), 51, 100));
  EXPECT_FALSE(IsAcceptableHeader(SampleHeader(2), 52, 100));
  EXPECT_FALSE(IsAcceptableHeader(SampleHeader(1), 52, 101));
  ArchiveHeader wrapped = SampleHeader(1);
  wrapped.bytes[23] = 0x80;  // offset 0x8000003C
  wrapped.bytes[31] = 0x80;  // length 0x80000028: the sum is 100 only mod 2^32
  EXPECT_FALSE(IsAcceptableHeader(wrapped, 52, 100));
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
  KeyChain(41).Mask(run, sizeof run);
  const std::uint8_t expected_head[12] = {0x7E, 0xD6, 0xC4, 0x18, 0xA0, 0x5C,
                                          0x8B, 0xF5, 0x6D, 0x41, 0x0B, 0xF5};
  EXPECT_EQ(std::memcmp(run, expected_head, sizeof expected_head), 0);
  // From byte 7 on the chain cycles F5 6D 41 0B.
  EXPECT_EQ(run[40], expected_head[7 + (40 - 7) % 4]);
  UnmaskRecord(run, sizeof run, 41);
  for (std::uint8_t byte : run) EXPECT_EQ(byte, 0);
}

TEST(KeyChain, StartsFromTheLowNibbleOfTheRecordLength) {
  std::uint8_t byte = 0;
  KeyChain(42).Mask(&byte, 1);
  EXPECT_EQ(byte, 0x23);  // table index 10
  byte = 0;
  KeyChain(0x1234).Mask(&byte, 1);
  EXPECT_EQ(byte, 0x18);  // index 4: only the low nibble counts
}

TEST(KeyChain, MaskingInPiecesEqualsMaskingAtOnce) {
  std::uint8_t whole[64], pieces[64];
  for (int i = 0; i < 64; ++i) whole[i] = pieces[i] = static_cast<std::uint8_t>(i * 37 + 5);
  KeyChain(64).Mask(whole, 64);
  KeyChain chain(64);
  chain.Mask(pieces, 40);
  chain.Mask(pieces + 40, 24);
  EXPECT_EQ(std::memcmp(whole, pieces, 64), 0);
  UnmaskRecord(whole, 64, 64);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(whole[i], static_cast<std::uint8_t>(i * 37 + 5));
}

// Runs of every length up to a few blocks, and some long ones, each in a
// buffer of exactly its size so that AddressSanitizer sees any byte read or
// written outside it.
std::vector<std::size_t> RunLengths() {
  std::vector<std::size_t> lengths;
  for (std::size_t length = 0; length <= 130; ++length) lengths.push_back(length);
  for (std::size_t length : {255u, 256u, 257u, 1000u, 4097u, 65535u}) lengths.push_back(length);
  return lengths;
}

TEST(KeyChain, VectorUnmaskAgreesWithTheByteLoop) {
  if (!key_chain_paths::HasVectorUnmask()) GTEST_SKIP() << "no vector path on this processor";
  std::mt19937 random(12345);
  for (const std::size_t length : RunLengths()) {
    for (int round = 0; round < 3; ++round) {
      std::vector<std::uint8_t> bytewise(length);
      for (auto& byte : bytewise) byte = static_cast<std::uint8_t>(random());
      std::vector<std::uint8_t> vector = bytewise;
      const auto index = static_cast<std::uint8_t>(random() & 0x0F);
      const std::uint8_t after_bytewise =
          key_chain_paths::UnmaskBytewise(bytewise.data(), length, index);
      const std::uint8_t after_vector = key_chain_paths::UnmaskVector(vector.data(), length, index);
      ASSERT_EQ(vector, bytewise) << "length " << length << ", start index " << int{index};
      ASSERT_EQ(after_vector, after_bytewise) << "length " << length;
    }
  }
}

// Whichever path this processor takes: masking then unmasking restores every
// run, whole or in pieces that split it anywhere.
TEST(KeyChain, UnmaskingRestoresRunsWholeAndInPieces) {
  std::mt19937 random(777);
  for (const std::size_t length : RunLengths()) {
    std::vector<std::uint8_t> plain(length);
    for (auto& byte : plain) byte = static_cast<std::uint8_t>(random());
    const auto record_length = static_cast<std::uint16_t>(length + (random() & 0xF0));

    std::vector<std::uint8_t> whole = plain;
    KeyChain(record_length).Mask(whole.data(), length);
    std::vector<std::uint8_t> pieces = whole;
    UnmaskRecord(whole.data(), length, record_length);
    ASSERT_EQ(whole, plain) << "length " << length;

    const std::size_t split = length == 0 ? 0 : random() % (length + 1);
    KeyChain chain(record_length);
    chain.Unmask(pieces.data(), split);
    chain.Unmask(pieces.data() + split, length - split);
    ASSERT_EQ(pieces, plain) << "length " << length << " split at " << split;
  }
}

// The directory walk's own step, along every path this processor can take,
// against the byte loop and the plain bytes: every record size up to a few
// blocks past the vector plans (and some long ones), the name's first NUL at
// every place from the end of the fixed block on, or missing, with zeros in
// the fixed block and a second NUL after the first that must not count. Each
// run is in a buffer of exactly its size.
std::vector<key_chain_paths::Path> AvailablePaths() {
  std::vector<key_chain_paths::Path> paths;
  for (auto path : {key_chain_paths::Path::kBytewise, key_chain_paths::Path::kSsse3,
                    key_chain_paths::Path::kAvx2}) {
    if (key_chain_paths::IsAvailable(path)) paths.push_back(path);
  }
  return paths;
}

TEST(KeyChainRecords, EveryPathUnmasksAndFindsTheFirstNulAfterTheFixedBlock) {
  std::mt19937 random(4242);
  std::vector<std::size_t> sizes;
  for (std::size_t size = 41; size <= 200; ++size) sizes.push_back(size);
  for (std::size_t size : {255u, 256u, 257u, 1000u, 4097u, 65535u}) sizes.push_back(size);
  for (const std::size_t size : sizes) {
    std::vector<std::size_t> nuls;  // `size` stands for "no NUL"
    for (std::size_t at = 40; at <= size; ++at) {
      if (size <= 130 || at < 100 || at + 20 > size || at % 61 == 0) nuls.push_back(at);
    }
    for (const std::size_t nul : nuls) {
      std::vector<std::uint8_t> plain(size);
      for (std::size_t i = 0; i < size; ++i) {
        plain[i] = i < 40 ? static_cast<std::uint8_t>(random() % 3 == 0 ? 0 : random())
                          : static_cast<std::uint8_t>(1 + random() % 255);
      }
      if (nul < size) plain[nul] = 0;
      if (nul + 3 < size) plain[nul + 3] = 0;
      const auto index = static_cast<std::uint8_t>(random() & 0x0F);
      std::vector<std::uint8_t> stored = plain;
      KeyChain(index).Mask(stored.data(), size);
      for (const auto path : AvailablePaths()) {
        std::vector<std::uint8_t> run = stored;
        const std::size_t found = key_chain_paths::UnmaskRecordWith(path, run.data(), size, index);
        ASSERT_EQ(found, nul) << "path " << static_cast<int>(path) << ", size " << size;
        ASSERT_EQ(run, plain) << "path " << static_cast<int>(path) << ", size " << size;
      }
    }
  }
}

// Whole masked directories, walked along every path: random names (some with
// a NUL before the record's end, some past the vector plans' 96 bytes), then
// each kind of damage that stops a walk. Every path takes the same records,
// stops at the same place and leaves the same bytes as the byte loop.
test::Bytes MaskedRecord(std::mt19937& random, std::size_t name_length, bool early_nul) {
  test::Bytes run(40);
  for (auto& byte : run) byte = static_cast<std::uint8_t>(random());
  for (std::size_t i = 0; i < name_length; ++i) {
    run.push_back(static_cast<std::uint8_t>(1 + random() % 255));
  }
  if (early_nul && name_length > 1) run[40 + random() % name_length] = 0;
  run.push_back(0);
  return test::FrameMaskedRun(run);
}

TEST(KeyChainRecords, EveryPathWalksADirectoryLikeTheByteLoop) {
  std::mt19937 random(99);
  test::Bytes no_nul_run(40, 7);
  no_nul_run.insert(no_nul_run.end(), {'a', 'b', 'c'});
  const test::Bytes tails[] = {
      {},                               // intact
      {0x29},                           // one byte left for a prefix
      {0, 0, 5, 5},                     // RecordLength 0
      {40, 0, 1, 2, 3},                 // RecordLength 40
      {100, 0, 1, 2, 3},                // runs past the end
      test::FrameMaskedRun(no_nul_run)  // no NUL after the fixed block
  };
  for (int round = 0; round < 20; ++round) {
    for (const test::Bytes& tail : tails) {
      test::Bytes directory;
      const int records = 1 + static_cast<int>(random() % 40);
      for (int r = 0; r < records; ++r) {
        const std::size_t name_length = random() % 8 == 0 ? random() % 300 : random() % 70;
        const test::Bytes record = MaskedRecord(random, name_length, random() % 5 == 0);
        directory.insert(directory.end(), record.begin(), record.end());
      }
      directory.insert(directory.end(), tail.begin(), tail.end());

      const std::size_t capacity = directory.size() / 43;
      test::Bytes expected_bytes = directory;
      std::vector<RecordSpan> expected_spans(capacity);
      const MaskedWalk expected = key_chain_paths::UnmaskRecordsWith(
          key_chain_paths::Path::kBytewise, expected_bytes.data(), expected_bytes.size(),
          expected_spans.data());
      ASSERT_EQ(expected.records, static_cast<std::size_t>(records));
      ASSERT_EQ(expected.end == directory.size(), tail.empty());
      for (const auto path : AvailablePaths()) {
        test::Bytes bytes = directory;
        std::vector<RecordSpan> spans(capacity);
        const MaskedWalk walk =
            key_chain_paths::UnmaskRecordsWith(path, bytes.data(), bytes.size(), spans.data());
        ASSERT_EQ(walk.records, expected.records) << "path " << static_cast<int>(path);
        ASSERT_EQ(walk.end, expected.end) << "path " << static_cast<int>(path);
        ASSERT_EQ(bytes, expected_bytes) << "path " << static_cast<int>(path);
        for (std::size_t i = 0; i < walk.records; ++i) {
          ASSERT_EQ(spans[i].fixed_block, expected_spans[i].fixed_block);
          ASSERT_EQ(spans[i].name_length, expected_spans[i].name_length);
        }
      }
    }
  }
}

}  // namespace
}  // namespace kzr
