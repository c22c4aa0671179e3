#include "plugin/name_field.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <utility>

#include "archive/byte_order.h"
#include "plugin/host_names.h"

#if KZR_AVX2_PATHS
#include <immintrin.h>
#endif

namespace kzr {
namespace {

// Most names are shorter than this, and for most entries this many bytes of
// the directory copy follow the name's start (its NUL, the next records).
// Such a name is copied as a whole window with the bytes from its end on
// zeroed, whatever its length.
constexpr std::size_t kWindow = 64;

// 64 bytes 0xFF, then 64 zeros. The window's mask of a name of `length`
// bytes, 0xFF for each byte of the name and zero after it, is the 64 bytes
// from KeepMask(length) on.
alignas(64) constexpr std::array<std::uint8_t, 2 * kWindow> kKeep = [] {
  std::array<std::uint8_t, 2 * kWindow> keep{};
  for (std::size_t i = 0; i < kWindow; ++i) keep[i] = 0xFF;
  return keep;
}();

inline const std::uint8_t* KeepMask(std::size_t length) noexcept {
  return kKeep.data() + kWindow - length;
}

constexpr bool kConverts = host::kHostSeparator != host::kStoredSeparator;
constexpr std::uint8_t kSeparatorFlip = host::kStoredSeparator ^ host::kHostSeparator;

void CopyIntoField(char* field, const char* name, std::size_t length) noexcept {
  const std::size_t kept = std::min(length, kNameFieldSize - 1);
  std::memcpy(field, name, kept);
  std::memset(field + kept, 0, kNameFieldSize - kept);
  host::ToHostSeparators(field);
}

// A name that does not fit the window, or whose window would reach past what
// may be read: rare, and taken step by step. Never inlined: the library's
// copies, inlined into a vector fill, would make it align its stack on every
// call.
[[gnu::noinline]] bool FillAnyName(char* field, const char* name, std::size_t length,
                                   std::size_t readable, bool ascii_only) noexcept {
  if (ascii_only) {
    for (std::size_t i = 0; i < length; ++i) {
      if (static_cast<unsigned char>(name[i]) >= 0x80) return false;
    }
  }
  if (!host::IsCleanName(name, length, readable)) return false;
  CopyIntoField(field, name, length);
  return true;
}

// What the window's masks of separators and dots (one bit or byte per name
// byte, the first byte lowest) say. `doubtful` is set when a separator or a
// dot follows a separator or the name's start: an empty, "." or ".."
// component may be there, and the exact test decides; so does a drive
// prefix. A name that ends with a separator is never clean.
inline bool WindowSaysClean(const char* name, std::size_t length, bool doubtful) noexcept {
  if (length == 0) return true;
  if (host::IsNameSeparator(name[length - 1])) return false;
  if (doubtful || (length >= 2 && name[1] == ':')) return host::IsCleanName(name, length);
  return true;
}

// The top bit of every byte of `word` that equals `byte`, and no other bit.
inline Word BytesEqual(Word word, std::uint8_t byte) noexcept {
  constexpr Word kLow7 = EveryByte(0x7F);
  const Word x = word ^ EveryByte(byte);
  return ~(((x & kLow7) + kLow7) | x) & ~kLow7;
}

// Calls `step` for 0 to Count - 1, written out: a loop of word stores may be
// turned into a string store, which costs more than the rest of a listing
// step.
template <std::size_t Count, typename Step>
inline void Unrolled(Step step) noexcept {
  [&]<std::size_t... I>(std::index_sequence<I...>) { (step(I), ...); }(
      std::make_index_sequence<Count>());
}

static_assert(kWindow % sizeof(Word) == 0 && (kNameFieldSize - kWindow) % 4 == 0);

}  // namespace

// (Cutting a clean name can leave a separator or a dot at its end, which the
// fills above would take for a name to clean; this one takes it as it is.)
void FillNameFieldCleaned(char* field, const char* name, std::size_t length) noexcept {
  CopyIntoField(field, name, length);
}

bool FillNameFieldScalar(char* field, const char* name, std::size_t length,
                         std::size_t readable, bool ascii_only) noexcept {
  if (length >= kWindow || readable < kWindow) {
    return FillAnyName(field, name, length, readable, ascii_only);
  }
  auto* const to = reinterpret_cast<std::uint8_t*>(field);
  const auto* const from = reinterpret_cast<const std::uint8_t*>(name);
  const std::uint8_t* const keep = KeepMask(length);
  // The window a word at a time, each word cut to its bytes before the name's
  // end. Masks of separators and dots mark each byte's top bit; a separator's
  // mark moved up a byte lands on the byte after it, and the name's start
  // counts as one.
  Word doubtful = 0, after_separator = 0x80, all_bytes = 0;
  Unrolled<kWindow / sizeof(Word)>([&](std::size_t word) {
    const std::size_t start = word * sizeof(Word);
    Word bytes = LoadWord(from + start) & LoadWord(keep + start);
    all_bytes |= bytes;
    const Word backslashes = BytesEqual(bytes, '\\');
    const Word separators = backslashes | BytesEqual(bytes, '/');
    doubtful |= ((separators << 8) | after_separator) & (separators | BytesEqual(bytes, '.'));
    after_separator = separators >> (8 * sizeof(Word) - 8);
    if constexpr (kConverts) bytes ^= (backslashes >> 7) * kSeparatorFlip;
    StoreWord(to + start, bytes);
  });
  Unrolled<(kNameFieldSize - kWindow) / 4>(
      [&](std::size_t word) { StoreU32(to + kWindow + 4 * word, 0); });
  if (ascii_only && (all_bytes & EveryByte(0x80)) != 0) return false;
  return WindowSaysClean(name, length, doubtful != 0);
}

#if KZR_AVX2_PATHS

namespace {

KZR_TARGET_AVX2 inline __m256i Load(const char* at) noexcept {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

KZR_TARGET_AVX2 inline void Store(char* at, __m256i bytes) noexcept {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), bytes);
}

}  // namespace

// One bit per byte of the 64-byte window, from its two halves' byte masks.
KZR_TARGET_AVX2 inline std::uint64_t Bits(__m256i low, __m256i high) noexcept {
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(low)) |
         std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(high))} << 32;
}

// The window as two 32-byte blocks, byte i kept when i < length, and the rest
// of the field in seven more stores. The compares for the cleaning check and
// for the conversion are shared: a listing makes a million of these calls,
// and the fewer instructions each takes, the more of them overlap.
KZR_TARGET_AVX2 bool FillNameFieldAvx2(char* field, const char* name, std::size_t length,
                                       std::size_t readable, bool ascii_only) noexcept {
  if (length >= kWindow || readable < kWindow) {
    return FillAnyName(field, name, length, readable, ascii_only);
  }
  const char* const keep = reinterpret_cast<const char*>(KeepMask(length));
  __m256i low = _mm256_and_si256(Load(name), Load(keep));
  __m256i high = _mm256_and_si256(Load(name + 32), Load(keep + 32));
  const __m256i backslash = _mm256_set1_epi8('\\');
  const __m256i slash = _mm256_set1_epi8('/');
  const __m256i dot = _mm256_set1_epi8('.');
  const __m256i low_backslashes = _mm256_cmpeq_epi8(low, backslash);
  const __m256i high_backslashes = _mm256_cmpeq_epi8(high, backslash);
  const __m256i low_separators = _mm256_or_si256(low_backslashes, _mm256_cmpeq_epi8(low, slash));
  const __m256i high_separators =
      _mm256_or_si256(high_backslashes, _mm256_cmpeq_epi8(high, slash));
  const std::uint64_t separators = Bits(low_separators, high_separators);
  const std::uint64_t separators_or_dots =
      Bits(_mm256_or_si256(low_separators, _mm256_cmpeq_epi8(low, dot)),
           _mm256_or_si256(high_separators, _mm256_cmpeq_epi8(high, dot)));
  if constexpr (kConverts) {
    const __m256i flip = _mm256_set1_epi8(static_cast<char>(kSeparatorFlip));
    low = _mm256_xor_si256(low, _mm256_and_si256(low_backslashes, flip));
    high = _mm256_xor_si256(high, _mm256_and_si256(high_backslashes, flip));
  }
  Store(field, low);
  Store(field + 32, high);
  static_assert(kWindow == 64 && kNameFieldSize == 260);
  const __m256i zeros = _mm256_setzero_si256();
  Store(field + 64, zeros);
  Store(field + 96, zeros);
  Store(field + 128, zeros);
  Store(field + 160, zeros);
  Store(field + 192, zeros);
  Store(field + 224, zeros);
  Store(field + 228, zeros);
  // Bytes past the name's end were cleared above, so any top bit is the name's.
  if (ascii_only && _mm256_movemask_epi8(_mm256_or_si256(low, high)) != 0) return false;
  return WindowSaysClean(name, length, ((separators << 1 | 1) & separators_or_dots) != 0);
}

#endif

}  // namespace kzr
