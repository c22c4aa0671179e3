#include "archive/key_chain.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "archive/byte_order.h"
#include "archive/format.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define KZR_VECTOR_UNMASK 1
#include <immintrin.h>
// GCC cannot realign the stack for 32-byte spills on 64-bit Windows, so the
// AVX2 walk is never taken there.
#if defined(_WIN64) && !defined(__clang__)
#define KZR_AVX2_UNMASK 0
#else
#define KZR_AVX2_UNMASK 1
#endif
#else
#define KZR_VECTOR_UNMASK 0
#define KZR_AVX2_UNMASK 0
#endif

namespace kzr {

namespace key_chain_paths {

namespace {

// The walk over a masked directory, shared by every path: the framing and
// the limits are checked here, and UnmaskStep unmasks one record and finds
// its name's end. Always inlined, so that a vector path's step (which needs
// its caller's target) is inlined in turn.
using UnmaskStepFn = std::size_t (*)(std::uint8_t*, std::size_t, std::uint8_t) noexcept;

// How far ahead of the record at hand the walk asks for the directory's
// bytes: the walk waits on each RecordLength before it can go on, so that
// wait should be on the first-level cache.
constexpr std::size_t kWalkPrefetch = 512;

template <UnmaskStepFn UnmaskStep>
__attribute__((always_inline)) inline MaskedWalk Walk(std::uint8_t* directory, std::size_t length,
                                                      RecordSpan* spans) noexcept {
  std::size_t position = 0;
  std::size_t records = 0;
  while (length - position >= format::kRecordLengthSize) {
    // A hint only, which never faults; the address is formed as a number, as
    // it may lie past the directory.
    __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(directory) +
                                                     position + kWalkPrefetch));
    const std::size_t record_length = LoadU16(directory + position);
    const std::size_t left = length - position - format::kRecordLengthSize;
    if (record_length < format::kMinRecordLength || record_length > left) break;
    const std::size_t fixed_block = position + format::kRecordLengthSize;
    const std::size_t nul = UnmaskStep(directory + fixed_block, record_length,
                                       static_cast<std::uint8_t>(record_length & 0x0F));
    if (nul == record_length) break;
    // The directory is at most 2^31 - 1 bytes long: offsets fit 32 bits.
    spans[records++] = {static_cast<std::uint32_t>(fixed_block),
                        static_cast<std::uint32_t>(nul - format::kRecordName)};
    position = fixed_block + record_length;
  }
  return {records, position};
}

}  // namespace

std::uint8_t UnmaskBytewise(std::uint8_t* bytes, std::size_t size, std::uint8_t index) noexcept {
  // The index comes from the stored byte, which is read before it is
  // overwritten: no value computed in one step feeds the next.
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint8_t stored = bytes[i];
    bytes[i] = stored ^ format::kDirectoryKeyTable[index];
    index = stored & 0x0F;
  }
  return index;
}

namespace {

std::size_t UnmaskRecordBytewise(std::uint8_t* run, std::size_t size, std::uint8_t index) noexcept {
  UnmaskBytewise(run, size, index);
  if (size <= format::kRecordName) return size;
  const void* nul = std::memchr(run + format::kRecordName, 0, size - format::kRecordName);
  return nul == nullptr ? size
                        : static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - run);
}

MaskedWalk WalkBytewise(std::uint8_t* directory, std::size_t length, RecordSpan* spans) noexcept {
  return Walk<UnmaskRecordBytewise>(directory, length, spans);
}

}  // namespace

#if KZR_VECTOR_UNMASK

namespace {

// 32-bit Windows keeps the stack only 4-byte aligned; realign it for any
// vector the compiler spills.
#if defined(__i386__)
#define KZR_REALIGN_STACK __attribute__((force_align_arg_pointer))
#else
#define KZR_REALIGN_STACK
#endif

#define KZR_SSSE3 __attribute__((target("ssse3")))
#define KZR_AVX2 __attribute__((target("avx2")))

bool DetectSsse3() noexcept {
  __builtin_cpu_init();  // this may run before the runtime's own detection
  return __builtin_cpu_supports("ssse3");
}

bool DetectAvx2() noexcept {
  __builtin_cpu_init();
  // The runtime's detection counts AVX2 only where the system saves the
  // 256-bit registers.
  return KZR_AVX2_UNMASK && __builtin_cpu_supports("avx2");
}

const bool kHasSsse3 = DetectSsse3();
const bool kHasAvx2 = DetectAvx2();

// The keys of a block of stored bytes are the table looked up (pshufb) by the
// low nibbles of the bytes one place before, the byte before the block coming
// in at the front. Blocks of 16 bytes here, of 32 in the AVX2 step below.
KZR_SSSE3 inline __m128i Table() noexcept {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(format::kDirectoryKeyTable.data()));
}

KZR_SSSE3 inline __m128i Load(const std::uint8_t* at) noexcept {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

KZR_SSSE3 inline void Store(std::uint8_t* at, __m128i block) noexcept {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(at), block);
}

KZR_SSSE3 inline __m128i Unmasked(__m128i stored, __m128i before, __m128i table) noexcept {
  return _mm_xor_si128(stored,
                       _mm_shuffle_epi8(table, _mm_and_si128(before, _mm_set1_epi8(0x0F))));
}

// Bit i set when byte i of the block is zero.
KZR_SSSE3 inline unsigned ZeroBytes(__m128i block) noexcept {
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_setzero_si128())));
}

// One block unmasked in place, `previous` holding the stored bytes of the
// block before (its lane 15 is the byte just before this block).
KZR_SSSE3 inline __m128i UnmaskInChain(std::uint8_t* at, __m128i table,
                                       __m128i& previous) noexcept {
  const __m128i stored = Load(at);
  const __m128i plain = Unmasked(stored, _mm_alignr_epi8(stored, previous, 15), table);
  Store(at, plain);
  previous = stored;
  return plain;
}

KZR_SSSE3 KZR_REALIGN_STACK std::uint8_t UnmaskSsse3(std::uint8_t* bytes, std::size_t size,
                                                   std::uint8_t index) noexcept {
  const __m128i table = Table();
  // A run that is not a whole number of blocks ends with one block that
  // overlaps the one before. It is unmasked first, while the stored bytes it
  // depends on are still there, and written last.
  const __m128i last_plain = Unmasked(Load(bytes + size - 16), Load(bytes + size - 17), table);
  const auto next_index = static_cast<std::uint8_t>(bytes[size - 1] & 0x0F);

  __m128i previous = _mm_slli_si128(_mm_cvtsi32_si128(index), 15);
  std::size_t offset = 0;
  for (; offset + 16 <= size; offset += 16) UnmaskInChain(bytes + offset, table, previous);
  if (offset < size) Store(bytes + size - 16, last_plain);
  return next_index;
}

// The vector path reads the byte before the last block; shorter runs go
// byte by byte.
constexpr std::size_t kShortestVectorRun = 17;

static_assert(format::kRecordName == 40 && format::kMinRecordLength == 41,
              "the block plans below assume a 40-byte fixed block");

// The position of the first NUL among the bits of `zeros`, which stand for
// the bytes from `offset` on, or `none`. Chosen without a branch: where a
// name ends varies from record to record.
inline std::size_t FirstNul(unsigned zeros, std::size_t offset, std::size_t none) noexcept {
  const std::size_t found = offset + static_cast<std::size_t>(std::countr_zero(zeros | 0x10000u));
  return zeros != 0 ? found : none;
}

// Any record run of at least kMinRecordLength bytes: UnmaskSsse3's plan, with
// each unmasked block compared with zero. The first two blocks lie inside the
// fixed block and are not searched; of the third, only bytes 40 on.
KZR_SSSE3 std::size_t UnmaskAnyRecordSsse3(std::uint8_t* run, std::size_t size,
                                           std::uint8_t index) noexcept {
  const __m128i table = Table();
  const std::size_t last_offset = size - 16;  // 25 or more
  const __m128i last_plain = Unmasked(Load(run + last_offset), Load(run + last_offset - 1), table);

  __m128i previous = _mm_slli_si128(_mm_cvtsi32_si128(index), 15);
  UnmaskInChain(run, table, previous);
  UnmaskInChain(run + 16, table, previous);
  std::size_t nul = size;
  unsigned name_bytes = 0xFF00u;  // of the block at 32: bytes 40 to 47
  std::size_t offset = 32;
  for (; offset + 16 <= size; offset += 16) {
    const unsigned zeros = ZeroBytes(UnmaskInChain(run + offset, table, previous)) & name_bytes;
    name_bytes = 0xFFFFu;
    nul = std::min(nul, FirstNul(zeros, offset, size));
  }
  if (offset < size) {
    Store(run + last_offset, last_plain);
    // Bytes of the last block that the full blocks searched already cannot
    // hold a NUL before `nul`; only those before byte 40 are left out.
    unsigned zeros = ZeroBytes(last_plain);
    if (last_offset < format::kRecordName) zeros &= 0xFFFFu << (format::kRecordName - last_offset);
    nul = std::min(nul, FirstNul(zeros, last_offset, size));
  }
  return nul;
}

// Records of 48 to 96 bytes (names of 7 to 55 characters), most of them, go
// without a loop: six blocks at 0, 16, 32 and min(48, 64, 80, size - 16),
// every one loaded (with the byte before it) before any is written, so that
// the blocks past the end collapse onto the last one and are harmlessly done
// again. Blocks 2 to 5 cover bytes 32 to size - 1 and give one 64-bit map of
// the zero bytes from byte 32 on.
KZR_SSSE3 inline std::size_t UnmaskRecordSsse3(std::uint8_t* run, std::size_t size,
                                               std::uint8_t index) noexcept {
  if (size < 48 || size > 96) return UnmaskAnyRecordSsse3(run, size, index);
  const __m128i table = Table();
  const std::size_t last = size - 16;
  const std::size_t o3 = std::min<std::size_t>(48, last);
  const std::size_t o4 = std::min<std::size_t>(64, last);
  const std::size_t o5 = std::min<std::size_t>(80, last);

  const __m128i s0 = Load(run);
  const __m128i p0 =
      Unmasked(s0, _mm_or_si128(_mm_slli_si128(s0, 1), _mm_cvtsi32_si128(index)), table);
  const __m128i p1 = Unmasked(Load(run + 16), Load(run + 15), table);
  const __m128i p2 = Unmasked(Load(run + 32), Load(run + 31), table);
  const __m128i p3 = Unmasked(Load(run + o3), Load(run + o3 - 1), table);
  const __m128i p4 = Unmasked(Load(run + o4), Load(run + o4 - 1), table);
  const __m128i p5 = Unmasked(Load(run + o5), Load(run + o5 - 1), table);
  Store(run, p0);
  Store(run + 16, p1);
  Store(run + 32, p2);
  Store(run + o3, p3);
  Store(run + o4, p4);
  Store(run + o5, p5);

  std::uint64_t zeros = ZeroBytes(p2) | std::uint64_t{ZeroBytes(p3)} << (o3 - 32) |
                        std::uint64_t{ZeroBytes(p4)} << (o4 - 32) |
                        std::uint64_t{ZeroBytes(p5)} << (o5 - 32);
  zeros &= ~std::uint64_t{0xFF};  // bytes 32 to 39 belong to the fixed block
  const std::size_t found = 32 + static_cast<std::size_t>(std::countr_zero(zeros));
  return zeros != 0 ? found : size;
}

KZR_AVX2 inline __m256i Load32(const std::uint8_t* at) noexcept {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

KZR_AVX2 inline void Store32(std::uint8_t* at, __m256i block) noexcept {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), block);
}

KZR_AVX2 inline __m256i Unmasked32(__m256i stored, __m256i before, __m256i table) noexcept {
  return _mm256_xor_si256(
      stored, _mm256_shuffle_epi8(table, _mm256_and_si256(before, _mm256_set1_epi8(0x0F))));
}

KZR_AVX2 inline std::uint32_t ZeroBytes32(__m256i block) noexcept {
  return static_cast<std::uint32_t>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(block, _mm256_setzero_si256())));
}

// Records of up to 96 bytes as three 32-byte blocks at 0, min(32, size - 32)
// and size - 32, all loaded before any is written (for a record of 64 bytes or
// less the last two coincide). The byte lookup works within 16-byte lanes, so
// the table sits in both; the first block's bytes-before are the block moved
// up one place across the lanes, with the start index in front. Blocks 1 and
// 2 cover bytes min(32, size - 32) to size - 1 and give one 64-bit map of
// their zero bytes.
KZR_AVX2 inline std::size_t UnmaskRecordAvx2(std::uint8_t* run, std::size_t size,
                                             std::uint8_t index) noexcept {
  if (size > 96) return UnmaskAnyRecordSsse3(run, size, index);
  const __m256i table = _mm256_broadcastsi128_si256(Table());
  const std::size_t o2 = size - 32;  // 9 or more
  const std::size_t o1 = std::min<std::size_t>(32, o2);

  const __m256i s0 = Load32(run);
  const __m256i b0 = _mm256_or_si256(
      _mm256_alignr_epi8(s0, _mm256_permute2x128_si256(s0, s0, 0x08), 15),
      _mm256_setr_epi32(index, 0, 0, 0, 0, 0, 0, 0));
  const __m256i p0 = Unmasked32(s0, b0, table);
  const __m256i p1 = Unmasked32(Load32(run + o1), Load32(run + o1 - 1), table);
  const __m256i p2 = Unmasked32(Load32(run + o2), Load32(run + o2 - 1), table);
  Store32(run, p0);
  Store32(run + o1, p1);
  Store32(run + o2, p2);

  std::uint64_t zeros = ZeroBytes32(p1) | std::uint64_t{ZeroBytes32(p2)} << (o2 - o1);
  zeros &= ~std::uint64_t{0} << (format::kRecordName - o1);  // the fixed block's bytes
  const std::size_t found = o1 + static_cast<std::size_t>(std::countr_zero(zeros));
  return zeros != 0 ? found : size;
}

KZR_SSSE3 KZR_REALIGN_STACK MaskedWalk WalkSsse3(std::uint8_t* directory, std::size_t length,
                                                 RecordSpan* spans) noexcept {
  return Walk<UnmaskRecordSsse3>(directory, length, spans);
}

KZR_AVX2 KZR_REALIGN_STACK MaskedWalk WalkAvx2(std::uint8_t* directory, std::size_t length,
                                               RecordSpan* spans) noexcept {
  return Walk<UnmaskRecordAvx2>(directory, length, spans);
}

KZR_SSSE3 KZR_REALIGN_STACK std::size_t OneRecordSsse3(std::uint8_t* run, std::size_t size,
                                                       std::uint8_t index) noexcept {
  return UnmaskRecordSsse3(run, size, index);
}

KZR_AVX2 KZR_REALIGN_STACK std::size_t OneRecordAvx2(std::uint8_t* run, std::size_t size,
                                                     std::uint8_t index) noexcept {
  return UnmaskRecordAvx2(run, size, index);
}

}  // namespace

bool IsAvailable(Path path) noexcept {
  switch (path) {
    case Path::kBytewise:
      return true;
    case Path::kSsse3:
      return kHasSsse3;
    case Path::kAvx2:
      return kHasAvx2;
  }
  return false;
}

std::uint8_t UnmaskVector(std::uint8_t* bytes, std::size_t size, std::uint8_t index) noexcept {
  if (size < kShortestVectorRun) return UnmaskBytewise(bytes, size, index);
  return UnmaskSsse3(bytes, size, index);
}

std::size_t UnmaskRecordWith(Path path, std::uint8_t* run, std::size_t size,
                             std::uint8_t index) noexcept {
  if (size < format::kMinRecordLength || path == Path::kBytewise) {
    return UnmaskRecordBytewise(run, size, index);
  }
  return path == Path::kAvx2 ? OneRecordAvx2(run, size, index) : OneRecordSsse3(run, size, index);
}

MaskedWalk UnmaskRecordsWith(Path path, std::uint8_t* directory, std::size_t length,
                             RecordSpan* spans) noexcept {
  switch (path) {
    case Path::kBytewise:
      break;
    case Path::kSsse3:
      return WalkSsse3(directory, length, spans);
    case Path::kAvx2:
      return WalkAvx2(directory, length, spans);
  }
  return WalkBytewise(directory, length, spans);
}

#else  // no vector path on this target

bool IsAvailable(Path path) noexcept { return path == Path::kBytewise; }

std::uint8_t UnmaskVector(std::uint8_t* bytes, std::size_t size, std::uint8_t index) noexcept {
  return UnmaskBytewise(bytes, size, index);
}

std::size_t UnmaskRecordWith(Path, std::uint8_t* run, std::size_t size,
                             std::uint8_t index) noexcept {
  return UnmaskRecordBytewise(run, size, index);
}

MaskedWalk UnmaskRecordsWith(Path, std::uint8_t* directory, std::size_t length,
                             RecordSpan* spans) noexcept {
  return WalkBytewise(directory, length, spans);
}

#endif

bool HasVectorUnmask() noexcept { return IsAvailable(Path::kSsse3); }

Path FastestPath() noexcept {
  if (IsAvailable(Path::kAvx2)) return Path::kAvx2;
  if (IsAvailable(Path::kSsse3)) return Path::kSsse3;
  return Path::kBytewise;
}

}  // namespace key_chain_paths

namespace {

std::uint8_t UnmaskRun(std::uint8_t* bytes, std::size_t size, std::uint8_t index) noexcept {
  if (key_chain_paths::HasVectorUnmask()) return key_chain_paths::UnmaskVector(bytes, size, index);
  return key_chain_paths::UnmaskBytewise(bytes, size, index);
}

}  // namespace

void KeyChain::Mask(std::uint8_t* bytes, std::size_t size) noexcept {
  // Masking is serial: each key depends on the byte just produced.
  std::uint8_t index = index_;
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint8_t stored = bytes[i] ^ format::kDirectoryKeyTable[index];
    bytes[i] = stored;
    index = stored & 0x0F;
  }
  index_ = index;
}

void KeyChain::Unmask(std::uint8_t* bytes, std::size_t size) noexcept {
  index_ = UnmaskRun(bytes, size, index_);
}

void UnmaskRecord(std::uint8_t* bytes, std::size_t size, std::uint16_t record_length) noexcept {
  UnmaskRun(bytes, size, static_cast<std::uint8_t>(record_length & 0x0F));
}

MaskedWalk UnmaskRecords(std::uint8_t* directory, std::size_t length, RecordSpan* spans) noexcept {
  // One choice for the whole directory.
  return key_chain_paths::UnmaskRecordsWith(key_chain_paths::FastestPath(), directory, length,
                                            spans);
}

}  // namespace kzr
