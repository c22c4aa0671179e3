#include "plugin/name_field.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "archive/byte_order.h"

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

// A name that does not fit the window, or whose window would reach past what
// may be read: rare, and simply copied.
void FillAnyName(char* field, const char* name, std::size_t length) noexcept {
  const std::size_t kept = std::min(length, kNameFieldSize - 1);
  std::memcpy(field, name, kept);
  std::memset(field + kept, 0, kNameFieldSize - kept);
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

void FillNameFieldScalar(char* field, const char* name, std::size_t length,
                         std::size_t readable) noexcept {
  if (length >= kWindow || readable < kWindow) return FillAnyName(field, name, length);
  auto* const to = reinterpret_cast<std::uint8_t*>(field);
  const auto* const from = reinterpret_cast<const std::uint8_t*>(name);
  // The window a word at a time, each word cut to its bytes before the name's
  // end: a mask of 8 bits per kept byte, shifted in two steps so that neither
  // reaches the word's width.
  Unrolled<kWindow / sizeof(Word)>([&](std::size_t word) {
    const std::size_t start = word * sizeof(Word);
    const auto kept = static_cast<unsigned>(std::clamp<std::ptrdiff_t>(
        static_cast<std::ptrdiff_t>(length) - static_cast<std::ptrdiff_t>(start), 0,
        sizeof(Word)));
    const Word mask = ~(~Word{0} << (4 * kept) << (4 * kept));
    StoreWord(to + start, LoadWord(from + start) & mask);
  });
  Unrolled<(kNameFieldSize - kWindow) / 4>(
      [&](std::size_t word) { StoreU32(to + kWindow + 4 * word, 0); });
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

// The window as two 32-byte blocks, byte i kept when i < length (both below
// 64, so the signed byte compare is exact), and the rest of the field in seven
// more stores.
KZR_TARGET_AVX2 void FillNameFieldAvx2(char* field, const char* name, std::size_t length,
                                       std::size_t readable) noexcept {
  if (length >= kWindow || readable < kWindow) return FillAnyName(field, name, length);
  const __m256i limit = _mm256_set1_epi8(static_cast<char>(length));
  const __m256i low_places =
      _mm256_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20,
                       21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31);
  const __m256i high_places = _mm256_add_epi8(low_places, _mm256_set1_epi8(32));
  Store(field, _mm256_and_si256(Load(name), _mm256_cmpgt_epi8(limit, low_places)));
  Store(field + 32, _mm256_and_si256(Load(name + 32), _mm256_cmpgt_epi8(limit, high_places)));
  static_assert(kWindow == 64 && kNameFieldSize == 260);
  const __m256i zeros = _mm256_setzero_si256();
  Store(field + 64, zeros);
  Store(field + 96, zeros);
  Store(field + 128, zeros);
  Store(field + 160, zeros);
  Store(field + 192, zeros);
  Store(field + 224, zeros);
  Store(field + 228, zeros);
}

#endif

}  // namespace kzr
