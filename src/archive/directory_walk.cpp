#include "archive/directory_walk.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "archive/byte_order.h"
#include "archive/format.h"
#include "archive/key_chain.h"
#include "base/cpu_features.h"

#if KZR_SSSE3_PATHS
#include <tmmintrin.h>
#endif

namespace kzr {

using namespace format;

namespace {

// The first NUL in [from, end), or null.
const std::uint8_t* FindNul(const std::uint8_t* from, const std::uint8_t* end) noexcept {
  return static_cast<const std::uint8_t*>(std::memchr(from, 0, static_cast<std::size_t>(end - from)));
}

#if KZR_SSSE3_PATHS
// 16 bytes of 0xFF, then 16 of zero: the first n bytes of a block are kept
// by the mask that starts 16 - n bytes in.
alignas(16) constexpr std::uint8_t kFirstBytes[32] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// The same 16 bytes at a time: the keys are the table looked up by the low
// nibbles of the stored bytes one place before (a listing of a masked
// archive is mostly this). A last block shorter than 16 bytes is done as a
// whole block, with keys for its own bytes only, when `readable` bytes from
// `bytes` let it be read: what follows is written back as it was.
// Returns where the first NUL at or after `from` is, or `size`.
KZR_TARGET_SSSE3 std::size_t UnmaskBlocks(std::uint8_t* bytes, std::size_t size, unsigned index,
                                          std::size_t readable, std::size_t from) noexcept {
  const __m128i table = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kDirectoryKeyTable.data()));
  const __m128i nibble = _mm_set1_epi8(0x0F);
  __m128i before = _mm_slli_si128(_mm_cvtsi32_si128(static_cast<int>(index)), 15);
  std::size_t at = 0, nul = size;
  for (; at < size && readable - at >= 16; at += 16) {
    const __m128i stored = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at));
    const __m128i previous = _mm_alignr_epi8(stored, before, 15);
    __m128i keys = _mm_shuffle_epi8(table, _mm_and_si128(previous, nibble));
    unsigned inside = 0xFFFF;
    if (size - at < 16) {
      keys = _mm_and_si128(keys, _mm_loadu_si128(reinterpret_cast<const __m128i*>(
                                     kFirstBytes + 16 - (size - at))));
      inside = (1u << (size - at)) - 1;
    }
    const __m128i plain = _mm_xor_si128(stored, keys);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + at), plain);
    before = stored;
    if (nul == size && at + 16 > from) {
      const unsigned skipped = at < from ? static_cast<unsigned>(from - at) : 0;
      const unsigned zeros =
          static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(plain, _mm_setzero_si128()))) &
          inside & (0xFFFFu << skipped);
      if (zeros != 0) nul = at + static_cast<std::size_t>(std::countr_zero(zeros));
    }
  }
  if (at >= size) return nul;
  // The rest begins after the last stored byte of the last block.
  UnmaskChained(bytes + at, size - at,
                at == 0 ? index : static_cast<unsigned>(_mm_extract_epi16(before, 7)) >> 8);
  if (nul != size) return nul;
  const std::uint8_t* found = FindNul(bytes + std::max(at, from), bytes + size);
  return found == nullptr ? size : static_cast<std::size_t>(found - bytes);
}
#endif

// Unmasks a record's `size` bytes from `index` (`readable` bytes from
// `bytes` lie in the directory) and returns where its first NUL at or after
// `from` is, or `size`.
std::size_t UnmaskRecord(std::uint8_t* bytes, std::size_t size, unsigned index,
                         std::size_t readable, std::size_t from) noexcept {
#if KZR_SSSE3_PATHS
  if (cpu::kHasSsse3) return UnmaskBlocks(bytes, size, index, readable, from);
#endif
  (void)readable;
  UnmaskChained(bytes, size, index);
  const std::uint8_t* found = FindNul(bytes + from, bytes + size);
  return found == nullptr ? size : static_cast<std::size_t>(found - bytes);
}

}  // namespace

DirectoryWalk WalkPlain(const std::uint8_t* directory, std::size_t length,
                        RecordSpan* spans) noexcept {
  std::size_t position = 0;
  std::size_t records = 0;
  while (length - position >= kMinRecordLength) {
    const std::size_t name = position + kRecordName;
    const std::uint8_t* const nul = FindNul(directory + name, directory + length);
    if (nul == nullptr) break;
    const std::size_t name_length = static_cast<std::size_t>(nul - directory) - name;
    // The directory is at most 2^31 - 1 bytes long: offsets fit 32 bits.
    spans[records++] = {static_cast<std::uint32_t>(position),
                        static_cast<std::uint32_t>(name_length)};
    position = name + name_length + 1;
  }
  return {records, position};
}

DirectoryWalk WalkMasked(std::uint8_t* directory, std::size_t length, RecordSpan* spans) noexcept {
  std::size_t position = 0;
  std::size_t records = 0;
  while (length - position >= kRecordLengthSize) {
    const std::size_t record_length = LoadU16(directory + position);
    if (record_length < kMinRecordLength ||
        record_length > length - position - kRecordLengthSize) {
      break;
    }
    std::uint8_t* const run = directory + position + kRecordLengthSize;
    const std::size_t name_end =
        UnmaskRecord(run, record_length, record_length & 0x0F,
                     length - position - kRecordLengthSize, kRecordName);
    if (name_end == record_length) break;
    spans[records++] = {static_cast<std::uint32_t>(run - directory),
                        static_cast<std::uint32_t>(name_end - kRecordName)};
    position += kRecordLengthSize + record_length;
  }
  return {records, position};
}

}  // namespace kzr
