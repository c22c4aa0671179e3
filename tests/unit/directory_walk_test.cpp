// The directory walks along each path this build and processor have (the
// scalar one, and the AVX2 one where there is one), against the records they
// were built from and against each other. Each directory lies in a buffer of
// exactly its size, so that AddressSanitizer sees any byte read or written
// outside it.
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

// One walk's body, named for the failure messages.
template <typename Walk>
struct WalkPath {
  const char* name;
  Walk* walk;
};

using MaskedWalkPath = WalkPath<DirectoryWalk(std::uint8_t*, std::size_t, RecordSpan*) noexcept>;
using PlainWalkPath =
    WalkPath<DirectoryWalk(const std::uint8_t*, std::size_t, RecordSpan*) noexcept>;

std::vector<MaskedWalkPath> MaskedWalkPaths() {
  std::vector<MaskedWalkPath> paths = {{"scalar", WalkMaskedScalar}};
#if KZR_AVX2_PATHS
  if (cpu::HasAvx2()) paths.push_back({"avx2", WalkMaskedAvx2});
#endif
  return paths;
}

// One record of every size up to a few vector blocks past the AVX2 path's
// 96-byte plan (and some long ones), its first NUL at every place from the end
// of the fixed block on, or missing, with zeros in the fixed block and a
// second NUL after the first that must not count.
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
      for (const MaskedWalkPath& path : MaskedWalkPaths()) {
        Bytes directory = framed;
        RecordSpan span{};
        const DirectoryWalk walk = path.walk(directory.data(), directory.size(), &span);
        ASSERT_EQ(directory, expected) << path.name << ", size " << size;
        if (nul == size) {
          ASSERT_EQ(walk.records, 0u) << path.name << ", size " << size;
          ASSERT_EQ(walk.end, 0u);
        } else {
          ASSERT_EQ(walk.records, 1u) << path.name << ", size " << size;
          ASSERT_EQ(walk.end, framed.size());
          ASSERT_EQ(span.fixed_block, 2u);
          ASSERT_EQ(span.name_length, nul - 40) << path.name << ", size " << size;
        }
      }
    }
  }
}

// Whole directories of random records (some names with a NUL before the
// record's end, some longer than the 96-byte plan), then each kind of damage
// that stops a walk: every path takes the same records, stops at the same
// place and leaves the same bytes.
Bytes RandomMaskedRecord(std::mt19937& random) {
  const std::size_t name_length = random() % 8 == 0 ? random() % 300 : random() % 70;
  Bytes run(40);
  for (auto& byte : run) byte = static_cast<std::uint8_t>(random());
  for (std::size_t i = 0; i < name_length; ++i) {
    run.push_back(static_cast<std::uint8_t>(1 + random() % 255));
  }
  if (random() % 5 == 0 && name_length > 1) run[40 + random() % name_length] = 0;
  run.push_back(0);
  return test::FrameMaskedRun(run);
}

TEST(MaskedWalk, EveryPathWalksWholeDirectoriesAlike) {
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
  const std::vector<MaskedWalkPath> paths = MaskedWalkPaths();
  for (int round = 0; round < 20; ++round) {
    for (const Bytes& tail : tails) {
      Bytes directory;
      const std::size_t records = 1 + random() % 40;
      for (std::size_t r = 0; r < records; ++r) {
        const Bytes record = RandomMaskedRecord(random);
        directory.insert(directory.end(), record.begin(), record.end());
      }
      directory.insert(directory.end(), tail.begin(), tail.end());

      const std::size_t capacity = directory.size() / 43;
      Bytes first_bytes = directory;
      std::vector<RecordSpan> first_spans(capacity);
      const DirectoryWalk first =
          paths[0].walk(first_bytes.data(), first_bytes.size(), first_spans.data());
      ASSERT_EQ(first.records, records);
      ASSERT_EQ(first.end == directory.size(), tail.empty());
      for (const MaskedWalkPath& path : paths) {
        Bytes bytes = directory;
        std::vector<RecordSpan> spans(capacity);
        const DirectoryWalk walk = path.walk(bytes.data(), bytes.size(), spans.data());
        ASSERT_EQ(walk.records, first.records) << path.name;
        ASSERT_EQ(walk.end, first.end) << path.name;
        ASSERT_EQ(bytes, first_bytes) << path.name;
        for (std::size_t i = 0; i < walk.records; ++i) {
          ASSERT_EQ(spans[i].fixed_block, first_spans[i].fixed_block) << path.name;
          ASSERT_EQ(spans[i].name_length, first_spans[i].name_length) << path.name;
        }
      }
    }
  }
}

std::vector<PlainWalkPath> PlainWalkPaths() {
  std::vector<PlainWalkPath> paths = {{"scalar", WalkPlainScalar}};
#if KZR_AVX2_PATHS
  if (cpu::HasAvx2()) paths.push_back({"avx2", WalkPlainAvx2});
#endif
  return paths;
}

// Names of every length across a 64-byte block, and some longer than a few
// KiB, after a run of records long enough to cross several, in the middle of
// a directory and as its last record (where fewer than 64 bytes follow the
// name), with zeros in the fixed blocks, before each kind of tail that stops
// a walk: every path takes the records built and stops where the tail starts.
TEST(PlainWalk, EveryPathFindsEachNameEndAndStopsBeforeATailWithoutOne) {
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
        for (const PlainWalkPath& path : PlainWalkPaths()) {
          std::vector<RecordSpan> spans(directory.size() / 41);
          const DirectoryWalk walk = path.walk(directory.data(), directory.size(), spans.data());
          ASSERT_EQ(walk.records, names.size()) << path.name << ", name length " << length;
          ASSERT_EQ(walk.end, intact) << path.name;
          std::size_t at = 0;
          for (std::size_t i = 0; i < names.size(); ++i) {
            ASSERT_EQ(spans[i].fixed_block, at) << path.name;
            ASSERT_EQ(spans[i].name_length, names[i]) << path.name << ", name length " << length;
            at += 40 + names[i] + 1;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace kzr
