#include "archive/directory_walk.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>

#include "archive/byte_order.h"
#include "archive/format.h"

#if KZR_AVX2_PATHS
#include <immintrin.h>
#endif

namespace kzr {

using namespace format;

namespace {

// The first NUL in [from, end), or null, a word at a time: for names of a few
// dozen bytes as fast as a library search, and the same on every target.
inline const std::uint8_t* FindNul(const std::uint8_t* from, const std::uint8_t* end) noexcept {
  while (static_cast<std::size_t>(end - from) >= sizeof(Word)) {
    const Word word = LoadWord(from);
    // Marks the high bit of every zero byte; a borrow can also mark a byte
    // above a zero one, never below, so the lowest mark is the first NUL.
    const Word zeros = (word - EveryByte(0x01)) & ~word & EveryByte(0x80);
    if (zeros != 0) return from + std::countr_zero(zeros) / 8;
    from += sizeof(Word);
  }
  for (; from != end; ++from) {
    if (*from == 0) return from;
  }
  return nullptr;
}

// The walks' loads follow a chain of record ends that the processor cannot
// run ahead of; asking for the directory's bytes this far ahead of the walk
// has them in the first-level cache when it gets there.
constexpr std::size_t kPrefetchAhead = 1024;

// Keys two at a time: entry (a | b << 4) holds the key that nibble a chooses
// in its low byte and the one that nibble b chooses in its high byte.
constexpr std::array<std::uint16_t, 256> kKeyPairs = [] {
  std::array<std::uint16_t, 256> pairs{};
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    pairs[i] = static_cast<std::uint16_t>(kDirectoryKeyTable[i & 0x0F] |
                                          kDirectoryKeyTable[i >> 4] << 8);
  }
  return pairs;
}();

// Unmasks `size` bytes from `index`, a word at a time. Each key is chosen by
// the stored byte one place before, which is known before any byte is
// written: the word shifted up one byte, with the last stored byte of the
// word before (or the start index) in front.
void UnmaskRun(std::uint8_t* bytes, std::size_t size, unsigned index) noexcept {
  Word before = index;
  std::size_t at = 0;
  for (; size - at >= sizeof(Word); at += sizeof(Word)) {
    const Word stored = LoadWord(bytes + at);
    const Word nibbles = (stored << 8 | before) & EveryByte(0x0F);
    // Bytes 0, 2, 4, ... now hold the nibbles of two neighbours each.
    const Word pairs = nibbles | nibbles >> 4;
    Word keys = 0;
    for (unsigned pair = 0; pair < sizeof(Word) / 2; ++pair) {
      keys |= static_cast<Word>(kKeyPairs[(pairs >> (16 * pair)) & 0xFF]) << (16 * pair);
    }
    StoreWord(bytes + at, stored ^ keys);
    before = stored >> (8 * sizeof(Word) - 8);
  }
  for (; at < size; ++at) {
    const std::uint8_t stored = bytes[at];
    bytes[at] = stored ^ kDirectoryKeyTable[before & 0x0F];
    before = stored;
  }
}

// One masked record step: unmasks the run of `size` bytes (at least
// kMinRecordLength) from `index` and returns the position of the first NUL at
// or after kRecordName, or `size` when there is none.
using UnmaskRecordFn = std::size_t (*)(std::uint8_t* run, std::size_t size,
                                       unsigned index) noexcept;

// The masked walk, whichever the step. Always inlined, so that a vector step,
// which needs its caller's target, is inlined in turn.
template <UnmaskRecordFn UnmaskRecord>
[[gnu::always_inline]] inline DirectoryWalk WalkMaskedWith(std::uint8_t* directory,
                                                          std::size_t length,
                                                          RecordSpan* spans) noexcept {
  std::size_t position = 0;
  std::size_t records = 0;
  while (length - position >= kRecordLengthSize) {
    cpu::Prefetch(directory + position, kPrefetchAhead);
    const std::size_t record_length = LoadU16(directory + position);
    if (record_length < kMinRecordLength ||
        record_length > length - position - kRecordLengthSize) {
      break;
    }
    const std::size_t fixed_block = position + kRecordLengthSize;
    const std::size_t nul =
        UnmaskRecord(directory + fixed_block, record_length, record_length & 0x0F);
    if (nul == record_length) break;
    // The directory is at most 2^31 - 1 bytes long: offsets fit 32 bits.
    spans[records++] = {static_cast<std::uint32_t>(fixed_block),
                        static_cast<std::uint32_t>(nul - kRecordName)};
    position = fixed_block + record_length;
  }
  return {records, position};
}

// Marks the NUL bytes of a directory, a stretch at a time: bit i of a word
// of the map stands for byte i of the block of kBlockBytes that the word
// covers. Marking a block depends on no other, so a stretch is marked at the
// processor's full width; the plain walk then follows its chain of name ends
// through the map, which stays in the first-level cache, instead of through
// the directory.
constexpr std::size_t kBlockBytes = 8 * sizeof(Word);

// Puts the map words of `blocks` whole blocks from `from` into `words`.
using MarkNulsFn = void (*)(const std::uint8_t* from, std::size_t blocks, Word* words) noexcept;

// How much of the directory one stretch of the map covers.
constexpr std::size_t kStretchWords = 64;

// Maps the blocks of the directory from `start`, a block's start, on, as
// many as one stretch holds, and returns where the stretch ends. Bytes past
// the directory's end count as no NUL, and so does the word after the
// stretch's last.
template <MarkNulsFn MarkNuls>
std::size_t MapStretch(const std::uint8_t* directory, std::size_t length, std::size_t start,
                       Word* map) noexcept {
  const std::size_t end = std::min(length, start + kStretchWords * kBlockBytes);
  std::size_t words = (end - start) / kBlockBytes;
  MarkNuls(directory + start, words, map);
  const std::size_t at = start + words * kBlockBytes;
  if (at < end) {
    Word last = 0;
    for (std::size_t i = 0; at + i < end; ++i) last |= Word{directory[at + i] == 0} << i;
    map[words++] = last;
  }
  map[words] = 0;
  return end;
}

// The plain walk, whichever the marking: each record's end is where the next
// begins, so the walk is one chain of searches for a name's NUL, which it
// makes in the map. Each search looks at the block's worth of bits from its
// start, taken from two words: a name ends in the first step whether or not
// it crosses a block's end, and there is no branch on that to mispredict.
template <MarkNulsFn MarkNuls>
[[gnu::always_inline]] inline DirectoryWalk WalkPlainWith(const std::uint8_t* directory,
                                                         std::size_t length,
                                                         RecordSpan* spans) noexcept {
  Word map[kStretchWords + 1];
  std::size_t map_start = 0;
  std::size_t map_end = 0;
  // The first NUL at or after `from`, or `length` when there is none.
  auto next_nul = [&](std::size_t from) {
    while (from < length) {
      if (from + kBlockBytes > map_end && map_end < length) {
        map_start = from - from % kBlockBytes;
        map_end = MapStretch<MarkNuls>(directory, length, map_start, map);
      }
      const std::size_t word = (from - map_start) / kBlockBytes;
      const unsigned shift = from % kBlockBytes;
      const Word nuls = map[word] >> shift | map[word + 1] << 1 << (kBlockBytes - 1 - shift);
      if (nuls != 0) return from + static_cast<unsigned>(std::countr_zero(nuls));
      from += kBlockBytes;
    }
    return length;
  };
  std::size_t position = 0;
  std::size_t records = 0;
  while (length - position >= kMinRecordLength) {
    const std::size_t nul = next_nul(position + kRecordName);
    if (nul == length) break;
    spans[records++] = {static_cast<std::uint32_t>(position),
                        static_cast<std::uint32_t>(nul - position - kRecordName)};
    position = nul + 1;
  }
  return {records, position};
}

// The NUL map, a machine word of a block at a time: each zero byte's top bit
// set, and those bits gathered to the bottom by one multiply (byte k's bit,
// moved to bit 8k, reaches bit 7(n - 1) + k and no two products meet, so
// nothing carries).
void MarkNulsScalar(const std::uint8_t* from, std::size_t blocks, Word* words) noexcept {
  constexpr Word kLow7 = EveryByte(0x7F);
  constexpr Word kGather = [] {  // bits 0, 7, 14, ...
    Word gather = 0;
    for (unsigned k = 0; k < sizeof(Word); ++k) gather |= Word{1} << (7 * k);
    return gather;
  }();
  constexpr unsigned kGathered = 7 * (sizeof(Word) - 1);
  for (std::size_t block = 0; block < blocks; ++block, from += kBlockBytes) {
    cpu::Prefetch(from, kPrefetchAhead);
    Word map = 0;
    for (std::size_t word = 0; word < 8; ++word) {
      const Word bytes = LoadWord(from + word * sizeof(Word));
      const Word zeros = ~(((bytes & kLow7) + kLow7) | bytes | kLow7);
      const Word bits = ((zeros >> 7) * kGather >> kGathered) & ((Word{1} << sizeof(Word)) - 1);
      map |= bits << (word * sizeof(Word));
    }
    words[block] = map;
  }
}

std::size_t UnmaskRecordScalar(std::uint8_t* run, std::size_t size, unsigned index) noexcept {
  UnmaskRun(run, size, index);
  const std::uint8_t* const nul = FindNul(run + kRecordName, run + size);
  return nul == nullptr ? size : static_cast<std::size_t>(nul - run);
}

#if KZR_AVX2_PATHS

// The keys of a 32-byte block of stored bytes are the table looked up by the
// low nibbles of the stored bytes one place before. The lookup works within
// 16-byte lanes, so the table sits in both.
KZR_TARGET_AVX2 inline __m256i Load(const std::uint8_t* at) noexcept {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

KZR_TARGET_AVX2 inline void Store(std::uint8_t* at, __m256i block) noexcept {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), block);
}

KZR_TARGET_AVX2 inline __m256i Unmasked(__m256i stored, __m256i before, __m256i table) noexcept {
  return _mm256_xor_si256(
      stored, _mm256_shuffle_epi8(table, _mm256_and_si256(before, _mm256_set1_epi8(0x0F))));
}

// The stored bytes one place before `stored`, whose block comes right after
// `previous`: `stored` moved up one byte across the lanes, with the last byte
// of `previous` in front.
KZR_TARGET_AVX2 inline __m256i Before(__m256i stored, __m256i previous) noexcept {
  return _mm256_alignr_epi8(stored, _mm256_permute2x128_si256(previous, stored, 0x21), 15);
}

// Bit i set when byte i of the block is zero.
KZR_TARGET_AVX2 inline std::uint32_t ZeroBytes(__m256i block) noexcept {
  return static_cast<std::uint32_t>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(block, _mm256_setzero_si256())));
}

// The position of the first zero among the bits of `zeros`, which stand for
// the bytes from `offset` on, or `none`. Without a branch: where a name ends
// varies from record to record.
inline std::size_t FirstNul(std::uint64_t zeros, std::size_t offset, std::size_t none) noexcept {
  const std::size_t found = offset + static_cast<std::size_t>(std::countr_zero(zeros));
  return zeros != 0 ? found : none;
}

static_assert(kRecordName == 40 && kMinRecordLength == 41,
              "the block plans below assume a 40-byte fixed block");

KZR_TARGET_AVX2 std::size_t UnmaskRecordAvx2(std::uint8_t* run, std::size_t size,
                                             unsigned index) noexcept {
  const __m256i table = _mm256_broadcastsi128_si256(
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(kDirectoryKeyTable.data())));
  // Stands for the block before the first: its last byte is the start index.
  const __m256i start = _mm256_set_epi64x(static_cast<long long>(index) << 56, 0, 0, 0);
  const std::size_t last = size - 32;  // 9 or more

  if (size <= 96) {
    // Records of up to 96 bytes (names of up to 55 characters, most of them)
    // go without a loop: blocks at 0, min(32, size - 32) and size - 32, all
    // loaded before any is written, so that they may overlap (for 64 bytes or
    // less the last two coincide). The last two cover the bytes from
    // min(32, size - 32) on and give one map of their zero bytes.
    const std::size_t middle = std::min<std::size_t>(32, last);
    const __m256i first = Load(run);
    const __m256i plain_first = Unmasked(first, Before(first, start), table);
    const __m256i plain_middle = Unmasked(Load(run + middle), Load(run + middle - 1), table);
    const __m256i plain_last = Unmasked(Load(run + last), Load(run + last - 1), table);
    Store(run, plain_first);
    Store(run + middle, plain_middle);
    Store(run + last, plain_last);
    std::uint64_t zeros =
        ZeroBytes(plain_middle) | std::uint64_t{ZeroBytes(plain_last)} << (last - middle);
    zeros &= ~std::uint64_t{0} << (kRecordName - middle);  // the fixed block's bytes
    return FirstNul(zeros, middle, size);
  }

  // Longer records block by block, each block's bytes-before taken from the
  // stored block before it. A last block that overlaps the one before it is
  // unmasked first, while its stored bytes are still there, and written last.
  const __m256i plain_last = Unmasked(Load(run + last), Load(run + last - 1), table);
  __m256i previous = start;
  std::size_t nul = size;
  for (std::size_t offset = 0; offset <= last; offset += 32) {
    const __m256i stored = Load(run + offset);
    const __m256i plain = Unmasked(stored, Before(stored, previous), table);
    Store(run + offset, plain);
    previous = stored;
    // Block 0 lies in the fixed block, and so do bytes 32 to 39.
    const std::uint32_t name_bytes = offset == 0 ? 0 : offset == 32 ? ~0xFFu : ~0u;
    nul = std::min(nul, FirstNul(ZeroBytes(plain) & name_bytes, offset, size));
  }
  Store(run + last, plain_last);
  return std::min(nul, FirstNul(ZeroBytes(plain_last), last, size));
}

// The NUL map, 32 bytes at a time.
KZR_TARGET_AVX2 void MarkNulsAvx2(const std::uint8_t* from, std::size_t blocks,
                                  Word* words) noexcept {
  for (std::size_t block = 0; block < blocks; ++block, from += kBlockBytes) {
    cpu::Prefetch(from, kPrefetchAhead);
    Word map = 0;
    for (std::size_t half = 0; half < kBlockBytes; half += 32) {
      map |= static_cast<Word>(std::uint64_t{ZeroBytes(Load(from + half))} << half);
    }
    words[block] = map;
  }
}

#endif

}  // namespace

DirectoryWalk WalkPlainScalar(const std::uint8_t* directory, std::size_t length,
                              RecordSpan* spans) noexcept {
  return WalkPlainWith<MarkNulsScalar>(directory, length, spans);
}

DirectoryWalk WalkMaskedScalar(std::uint8_t* directory, std::size_t length,
                               RecordSpan* spans) noexcept {
  return WalkMaskedWith<UnmaskRecordScalar>(directory, length, spans);
}

#if KZR_AVX2_PATHS
KZR_TARGET_AVX2 DirectoryWalk WalkPlainAvx2(const std::uint8_t* directory, std::size_t length,
                                            RecordSpan* spans) noexcept {
  return WalkPlainWith<MarkNulsAvx2>(directory, length, spans);
}

KZR_TARGET_AVX2 DirectoryWalk WalkMaskedAvx2(std::uint8_t* directory, std::size_t length,
                                             RecordSpan* spans) noexcept {
  return WalkMaskedWith<UnmaskRecordAvx2>(directory, length, spans);
}
#endif

}  // namespace kzr
