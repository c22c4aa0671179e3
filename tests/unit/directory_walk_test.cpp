// The directory walks against the records they were built from. Each
// directory lies in a buffer of exactly its size, so that AddressSanitizer
// sees any byte read or written outside it.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "archive/directory_walk.h"
#include "support/archive_builder.h"

namespace kzr {
namespace {

using test::Bytes;

// One record of every size up to 200 bytes (and some long ones), its first
// NUL at every place from the end of the fixed block on, or missing, with
// zeros in the fixed block and a second NUL after the first that must not
// count.
TEST(MaskedWalk, EveryRecordSizeIsUnmaskedAndEndsAtItsFirstNulAfterTheFixedBlock) {
  std::mt19937 random(4242);
  std::vector<std::size_t> sizes;
  for (std::size_t size = 41; size <= 200; ++size) sizes.push_back(size);
  for (std::size_t size : {255u, 256u, 257u, 1000u, 4097u, 65535u}) sizes.push_back(size);
  for (const std::size_t size : sizes) {
    std::vector<std::size_t> nuls;  // `size` stands for "no NUL"
    for (std::size_t at = 40; at <= size; ++at) {
      if (size <= 200 || at < 100 || at + 20 > size || at % 61 == 0) nuls.push_back(at);
    }
    for (const std::size_t nul : nuls) {
      Bytes plain(size);
      for (std::size_t i = 0; i < size; ++i) {
        plain[i] = i < 40 ? static_cast<std::uint8_t>(random() % 3 == 0 ? 0 : random())
                          : static_cast<std::uint8_t>(1 + random() % 255);
      }
      if (nul < size) plain[nul] = 0;
      if (nul + 3 < size) plain[nul + 3] = 0;
      const Bytes framed = test::FrameMaskedRun(plain);
      Bytes expected = framed;
      std::copy(plain.begin(), plain.end(), expected.begin() + 2);
      Bytes directory = framed;
      RecordSpan span{};
      const DirectoryWalk walk = WalkMasked(directory.data(), directory.size(), &span);
      ASSERT_EQ(directory, expected) << "size " << size;
      if (nul == size) {
        ASSERT_EQ(walk.records, 0u) << "size " << size;
        ASSERT_EQ(walk.end, 0u);
      } else {
        ASSERT_EQ(walk.records, 1u) << "size " << size;
        ASSERT_EQ(walk.end, framed.size());
        ASSERT_EQ(span.fixed_block, 2u);
        ASSERT_EQ(span.name_length, nul - 40) << "size " << size;
      }
    }
  }
}

// Whole directories of random records (some names with a NUL before the
// record's end, some long), then each kind of damage that stops a walk: the
// walk takes the records built, with their places and name lengths, unmasks
// them and stops where the damage starts.
struct MaskedRecord {
  Bytes framed;
  Bytes run;  // unmasked
  std::size_t name_length;
};

MaskedRecord RandomMaskedRecord(std::mt19937& random) {
  std::size_t name_length = random() % 8 == 0 ? random() % 300 : random() % 70;
  Bytes run(40);
  for (auto& byte : run) byte = static_cast<std::uint8_t>(random());
  for (std::size_t i = 0; i < name_length; ++i) {
    run.push_back(static_cast<std::uint8_t>(1 + random() % 255));
  }
  if (random() % 5 == 0 && name_length > 1) {
    const std::size_t nul = random() % name_length;
    run[40 + nul] = 0;
    name_length = nul;
  }
  run.push_back(0);
  return {test::FrameMaskedRun(run), run, name_length};
}

TEST(MaskedWalk, TakesWholeDirectoriesRecordByRecordAndStopsAtDamage) {
  std::mt19937 random(99);
  Bytes no_nul_run(40, 7);
  no_nul_run.insert(no_nul_run.end(), {'a', 'b', 'c'});
  const Bytes tails[] = {
      {},                               // intact
      {0x29},                           // one byte left for a prefix
      {0, 0, 5, 5},                     // RecordLength 0
      {40, 0, 1, 2, 3},                 // RecordLength 40
      {100, 0, 1, 2, 3},                // runs past the end
      test::FrameMaskedRun(no_nul_run)  // no NUL after the fixed block
  };
  for (int round = 0; round < 20; ++round) {
    for (const Bytes& tail : tails) {
      Bytes directory, unmasked;
      std::vector<RecordSpan> built;
      const std::size_t records = 1 + random() % 40;
      for (std::size_t r = 0; r < records; ++r) {
        const MaskedRecord record = RandomMaskedRecord(random);
        built.push_back({static_cast<std::uint32_t>(directory.size() + 2),
                         static_cast<std::uint32_t>(record.name_length)});
        directory.insert(directory.end(), record.framed.begin(), record.framed.end());
        unmasked.insert(unmasked.end(), record.framed.begin(), record.framed.begin() + 2);
        unmasked.insert(unmasked.end(), record.run.begin(), record.run.end());
      }
      const std::size_t intact = directory.size();
      directory.insert(directory.end(), tail.begin(), tail.end());

      std::vector<RecordSpan> spans(directory.size() / 43);
      const DirectoryWalk walk = WalkMasked(directory.data(), directory.size(), spans.data());
      ASSERT_EQ(walk.records, records);
      ASSERT_EQ(walk.end, intact);
      ASSERT_TRUE(std::equal(unmasked.begin(), unmasked.end(), directory.begin()));
      for (std::size_t i = 0; i < records; ++i) {
        ASSERT_EQ(spans[i].fixed_block, built[i].fixed_block) << "record " << i;
        ASSERT_EQ(spans[i].name_length, built[i].name_length) << "record " << i;
      }
    }
  }
}

// Names of every length up to 140 bytes, and some longer than a few KiB,
// after a run of random records, in the middle of a directory and as its
// last record, with zeros in the fixed blocks, before each kind of tail that
// stops a walk: the walk takes the records built and stops where the tail
// starts.
TEST(PlainWalk, FindsEachNameEndAndStopsBeforeATailWithoutOne) {
  std::mt19937 random(77);
  Bytes no_nul(40, 0);
  no_nul.insert(no_nul.end(), 30, 'n');
  const Bytes tails[] = {{}, Bytes(40, 'x'), no_nul};
  auto record = [&](std::size_t name_length) {
    Bytes bytes(40);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random() % 3 == 0 ? 0 : random());
    for (std::size_t i = 0; i < name_length; ++i) {
      bytes.push_back(static_cast<std::uint8_t>(1 + random() % 255));
    }
    bytes.push_back(0);
    return bytes;
  };
  std::vector<std::size_t> lengths(141);
  std::iota(lengths.begin(), lengths.end(), 0);
  lengths.insert(lengths.end(), {4095, 4096, 4097, 10000});
  for (const std::size_t length : lengths) {
    for (const bool last : {false, true}) {
      for (const Bytes& tail : tails) {
        std::vector<std::size_t> names(random() % 80);
        for (std::size_t& name : names) name = random() % 90;
        names.push_back(length);
        if (!last) names.push_back(random() % 90);
        Bytes directory;
        for (const std::size_t name : names) {
          const Bytes bytes = record(name);
          directory.insert(directory.end(), bytes.begin(), bytes.end());
        }
        const std::size_t intact = directory.size();
        directory.insert(directory.end(), tail.begin(), tail.end());
        std::vector<RecordSpan> spans(directory.size() / 41);
        const DirectoryWalk walk = WalkPlain(directory.data(), directory.size(), spans.data());
        ASSERT_EQ(walk.records, names.size()) << "name length " << length;
        ASSERT_EQ(walk.end, intact);
        std::size_t at = 0;
        for (std::size_t i = 0; i < names.size(); ++i) {
          ASSERT_EQ(spans[i].fixed_block, at);
          ASSERT_EQ(spans[i].name_length, names[i]) << "name length " << length;
          at += 40 + names[i] + 1;
        }
      }
    }
  }
}

}  // namespace
}  // namespace kzr
