#include "archive/directory_index.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

#include "archive/byte_order.h"
#include "archive/format.h"
#include "archive/key_chain.h"

#if defined(__SSE2__)
#define KZR_SSE2_NAMES 1
#include <emmintrin.h>
#else
#define KZR_SSE2_NAMES 0
#endif

// The AVX2 name field, for x86 processors that have it; not where GCC targets
// 64-bit Windows, as it cannot realign the stack there for 32-byte spills.
#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__)) && \
    !(defined(_WIN64) && !defined(__clang__))
#define KZR_AVX2_NAMES 1
#include <immintrin.h>
#define KZR_AVX2 __attribute__((target("avx2")))
#if defined(__i386__)
#define KZR_REALIGN_STACK __attribute__((force_align_arg_pointer))
#else
#define KZR_REALIGN_STACK
#endif
#else
#define KZR_AVX2_NAMES 0
#endif


namespace kzr {

using namespace format;

DirectoryIndex::LoadResult DirectoryIndex::Load(std::FILE* stream,
                                                const ArchiveHeader& header) noexcept {
  const std::uint32_t length = header.DirectoryLength();
  // The header was accepted, so offset + length equals the file length, which
  // is at most 2^31 - 1: the offset fits a long everywhere.
  if (std::fseek(stream, static_cast<long>(header.DirectoryOffset()), SEEK_SET) != 0) {
    return {LoadStatus::kReadError, nullptr};
  }
  std::unique_ptr<std::uint8_t[]> bytes(new (std::nothrow) std::uint8_t[length]);
  if (!bytes) return {LoadStatus::kNoMemory, nullptr};
  if (length != 0 && std::fread(bytes.get(), 1, length, stream) != length) {
    return {LoadStatus::kReadError, nullptr};
  }
  auto index = Build(std::move(bytes), length, header.IsMasked());
  if (!index) return {LoadStatus::kNoMemory, nullptr};
  return {LoadStatus::kOk, std::move(index)};
}

std::unique_ptr<DirectoryIndex> DirectoryIndex::Build(std::unique_ptr<std::uint8_t[]> bytes,
                                                      std::uint32_t length,
                                                      bool masked) noexcept {
  std::unique_ptr<DirectoryIndex> index(new (std::nothrow)
                                            DirectoryIndex(std::move(bytes), length));
  if (!index) return nullptr;
  // Every record takes at least 41 bytes (43 when masked): this many spans
  // hold any directory, so the walk never checks for room.
  const std::size_t smallest = masked ? kRecordLengthSize + kMinRecordLength : kMinRecordLength;
  const std::size_t capacity = length / smallest;
  if (capacity != 0) {
    index->spans_.reset(new (std::nothrow) RecordSpan[capacity]);
    if (!index->spans_) return nullptr;
  }
  if (masked) {
    // A masked record is a u16 RecordLength n, then n bytes masked as one
    // chain: the fixed block, the name and its NUL. The name ends at the
    // first NUL, which need not be the record's last byte.
    const MaskedWalk walk = UnmaskRecords(index->bytes_.get(), length, index->spans_.get());
    index->count_ = walk.records;
    index->damaged_ = walk.end < length;
  } else {
    index->WalkPlain();
  }
  index->ResetCursor();
  return index;
}

namespace {

// The first NUL in [from, end), or null. Names are a few dozen bytes, too
// short for a library search to repay its setup on every record; testing eight
// bytes at a time inline is faster for them.
const std::uint8_t* FindNul(const std::uint8_t* from, const std::uint8_t* end) noexcept {
  constexpr std::uint64_t kLowBits = 0x0101010101010101ull;
  constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
  while (end - from >= 8) {
    const std::uint64_t word = LoadU32(from) | std::uint64_t{LoadU32(from + 4)} << 32;
    // Marks the high bit of every zero byte; a borrow can also mark a byte
    // above a zero one, never below, so the lowest mark is the first NUL.
    const std::uint64_t zeros = (word - kLowBits) & ~word & kHighBits;
    if (zeros != 0) return from + std::countr_zero(zeros) / 8;
    from += 8;
  }
  for (; from != end; ++from) {
    if (*from == 0) return from;
  }
  return nullptr;
}

// Where the name at `name` ends: its NUL, or null when none lies before
// `end`. Where SSE2 is part of the target, the 64 bytes from the name on are
// compared at once, so that every name shorter than that takes the same way
// through, with no loop whose end depends on its length (which would be
// mispredicted about once a record).
const std::uint8_t* FindNameEnd(const std::uint8_t* name, const std::uint8_t* end) noexcept {
#if KZR_SSE2_NAMES
  if (end - name >= 64) {
    const __m128i zero = _mm_setzero_si128();
    std::uint64_t zeros = 0;
    for (int block = 0; block < 4; ++block) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(name + 16 * block));
      zeros |= std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, zero)))}
               << (16 * block);
    }
    if (zeros != 0) return name + std::countr_zero(zeros);
    return FindNul(name + 64, end);
  }
#endif
  return FindNul(name, end);
}

// How far ahead of the record at hand the walk asks for the directory's
// bytes: each record's start waits on the previous name's NUL, so that wait
// should be on the first-level cache.
constexpr std::size_t kWalkPrefetch = 512;

}  // namespace

// A plain record is the fixed block followed by the name up to its NUL.
void DirectoryIndex::WalkPlain() noexcept {
  const std::uint8_t* const base = bytes_.get();
  const std::uint8_t* const end = base + length_;
  RecordSpan* const spans = spans_.get();
  std::size_t position = 0;
  std::size_t count = 0;
  while (length_ - position >= kMinRecordLength) {
    // A hint only, which never faults; the address is formed as a number, as
    // it may lie past the directory.
    __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(base) +
                                                     position + kWalkPrefetch));
    const std::uint8_t* const name = base + position + kRecordName;
    const std::uint8_t* const nul = FindNameEnd(name, end);
    if (nul == nullptr) break;
    spans[count++] = {static_cast<std::uint32_t>(position), static_cast<std::uint32_t>(nul - name)};
    position = static_cast<std::size_t>(nul - base) + 1;
  }
  count_ = count;
  damaged_ = position < length_;
}

EntryView DirectoryIndex::ResetCursor() noexcept {
  cursor_ = count_;
  current_ = kNone;
  return cursor_ == 0 ? EntryView() : EntryAt(cursor_ - 1);
}

EntryView DirectoryIndex::CurrentEntry() const noexcept {
  return current_ == kNone ? EntryView() : EntryAt(current_);
}

namespace name_field {

namespace {

constexpr std::size_t kLongest = kSize - 1;

// Most names are shorter than this, and in most records this many bytes of
// the directory copy follow the name's start (the name, its NUL, the next
// records). Such a name is copied as a whole window with the bytes from its
// NUL on masked to zero, whatever its length.
constexpr std::size_t kWindow = 64;

// Fills [from, kSize) with NUL in sixteen-byte pieces. (A memset becomes a
// string store on some compilers, which costs more than the rest of a
// listing step.)
template <std::size_t from>
inline void Clear(char* field) noexcept {
  static constexpr char kZeros[16] = {};
  static_assert(kSize - from >= 16);
  for (std::size_t done = from; done + 16 <= kSize; done += 16) {
    std::memcpy(field + done, kZeros, 16);
  }
  std::memcpy(field + kSize - 16, kZeros, 16);
}

// Copies `length` bytes into the front of a cleared field without a library
// call. Pieces may overlap; no byte outside [from, from + length) is read.
inline void CopyName(char* to, const char* from, std::size_t length) noexcept {
  if (length >= 16) {
    for (std::size_t done = 0; done + 16 < length; done += 16) {
      std::memcpy(to + done, from + done, 16);
    }
    std::memcpy(to + length - 16, from + length - 16, 16);
  } else if (length >= 8) {
    std::memcpy(to, from, 8);
    std::memcpy(to + length - 8, from + length - 8, 8);
  } else if (length >= 4) {
    std::memcpy(to, from, 4);
    std::memcpy(to + length - 4, from + length - 4, 4);
  } else {
    for (std::size_t i = 0; i < length; ++i) to[i] = from[i];
  }
}

// A name that does not fit the window, or whose window would reach past
// what may be read.
inline void FillAny(char* field, const char* name, std::size_t length) noexcept {
  Clear<0>(field);
  CopyName(field, name, length < kLongest ? length : kLongest);
}

// The window as eight words, each masked to its bytes before the name's end.
inline void FillWindowWords(char* field, const char* name, std::size_t length) noexcept {
  for (std::size_t word = 0; word < kWindow / 8; ++word) {
    std::uint8_t bytes[8];
    std::memcpy(bytes, name + 8 * word, 8);
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = value << 8 | bytes[i];
    // Bytes of this word at or past the name's end: 0 to 8, dropped as a
    // shift of 0 to 64 bits done in two steps so that neither reaches the
    // word's width.
    const std::ptrdiff_t past =
        static_cast<std::ptrdiff_t>(8 * word + 8) - static_cast<std::ptrdiff_t>(length);
    const auto drop = static_cast<unsigned>(past < 0 ? 0 : past > 8 ? 8 : past) * 8;
    value &= (~std::uint64_t{0} >> (drop / 2)) >> (drop - drop / 2);
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    std::memcpy(field + 8 * word, bytes, 8);
  }
  Clear<kWindow>(field);
}

void FillWords(char* field, const char* name, std::size_t length, std::size_t readable) noexcept {
  if (length < kWindow && readable >= kWindow) {
    FillWindowWords(field, name, length);
  } else {
    FillAny(field, name, length);
  }
}

#if KZR_SSE2_NAMES

// The window as four sixteen-byte blocks: byte i is kept when i < length
// (both below 64, so the signed byte compare is exact).
inline void FillWindowSse2(char* field, const char* name, std::size_t length) noexcept {
  const __m128i limit = _mm_set1_epi8(static_cast<char>(length));
  const __m128i first_indices = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  for (int block = 0; block < static_cast<int>(kWindow / 16); ++block) {
    const __m128i indices =
        _mm_add_epi8(first_indices, _mm_set1_epi8(static_cast<char>(16 * block)));
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(name + 16 * block));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(field + 16 * block),
                     _mm_and_si128(bytes, _mm_cmpgt_epi8(limit, indices)));
  }
  Clear<kWindow>(field);
}

void FillSse2(char* field, const char* name, std::size_t length, std::size_t readable) noexcept {
  if (length < kWindow && readable >= kWindow) {
    FillWindowSse2(field, name, length);
  } else {
    FillAny(field, name, length);
  }
}

#else

void FillSse2(char* field, const char* name, std::size_t length, std::size_t readable) noexcept {
  FillWords(field, name, length, readable);
}

#endif

#if KZR_AVX2_NAMES

bool DetectAvx2() noexcept {
  __builtin_cpu_init();  // this may run before the runtime's own detection
  // The runtime counts AVX2 only where the system saves the 256-bit registers.
  return __builtin_cpu_supports("avx2");
}

const bool kHasAvx2 = DetectAvx2();

KZR_AVX2 inline __m256i Load32(const char* at) noexcept {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

KZR_AVX2 inline void Store32(char* at, __m256i bytes) noexcept {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), bytes);
}

// The window as two 32-byte blocks and the rest of the field in seven more
// stores: nine for the field instead of seventeen.
KZR_AVX2 KZR_REALIGN_STACK void FillAvx2(char* field, const char* name, std::size_t length,
                                         std::size_t readable) noexcept {
  if (length >= kWindow || readable < kWindow) {
    FillAny(field, name, length);
    return;
  }
  const __m256i limit = _mm256_set1_epi8(static_cast<char>(length));
  const __m256i low_indices =
      _mm256_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20,
                       21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31);
  const __m256i high_indices = _mm256_add_epi8(low_indices, _mm256_set1_epi8(32));
  Store32(field, _mm256_and_si256(Load32(name), _mm256_cmpgt_epi8(limit, low_indices)));
  Store32(field + 32, _mm256_and_si256(Load32(name + 32), _mm256_cmpgt_epi8(limit, high_indices)));
  // Written out, not as a loop, which a compiler may turn back into a string
  // store.
  static_assert(kWindow == 64 && kSize == 260);
  const __m256i zeros = _mm256_setzero_si256();
  Store32(field + 64, zeros);
  Store32(field + 96, zeros);
  Store32(field + 128, zeros);
  Store32(field + 160, zeros);
  Store32(field + 192, zeros);
  Store32(field + 224, zeros);
  Store32(field + 228, zeros);
}

#else

constexpr bool kHasAvx2 = false;

void FillAvx2(char* field, const char* name, std::size_t length, std::size_t readable) noexcept {
  FillSse2(field, name, length, readable);
}

#endif

}  // namespace

bool IsAvailable(Path path) noexcept {
  switch (path) {
    case Path::kWords:
      return true;
    case Path::kSse2:
      return KZR_SSE2_NAMES;
    case Path::kAvx2:
      return kHasAvx2;
  }
  return false;
}

void FillWith(Path path, char* field, const char* name, std::size_t length,
              std::size_t readable) noexcept {
  switch (path) {
    case Path::kWords:
      return FillWords(field, name, length, readable);
    case Path::kSse2:
      return FillSse2(field, name, length, readable);
    case Path::kAvx2:
      return FillAvx2(field, name, length, readable);
  }
}

// FillSse2 is FillWords where SSE2 is not part of the target.
const FillFn kFastestFill = kHasAvx2 ? FillFn{FillAvx2} : FillFn{FillSse2};

}  // namespace name_field

}  // namespace kzr
