#include "archive/key_chain.h"

#include "archive/format.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define KZR_VECTOR_UNMASK 1
#include <immintrin.h>
#else
#define KZR_VECTOR_UNMASK 0
#endif

namespace kzr {

namespace key_chain_paths {

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

#if KZR_VECTOR_UNMASK

namespace {

bool DetectSsse3() noexcept {
  __builtin_cpu_init();  // this may run before the runtime's own detection
  return __builtin_cpu_supports("ssse3");
}

const bool kHasSsse3 = DetectSsse3();

// 32-bit Windows keeps the stack only 4-byte aligned; realign it for any
// vector the compiler spills.
#if defined(__i386__)
#define KZR_REALIGN_STACK __attribute__((force_align_arg_pointer))
#else
#define KZR_REALIGN_STACK
#endif

// Sixteen bytes at a time: the keys of a block are the table looked up
// (pshufb) by the low nibbles of the block shifted one byte towards its end,
// the byte before the block coming in at the front.
__attribute__((target("ssse3"))) KZR_REALIGN_STACK std::uint8_t UnmaskSsse3(
    std::uint8_t* bytes, std::size_t size, std::uint8_t index) noexcept {
  const __m128i table =
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(format::kDirectoryKeyTable.data()));
  const __m128i nibble = _mm_set1_epi8(0x0F);

  // A run that is not a whole number of blocks ends with one block that
  // overlaps the one before. It is unmasked first, while the stored bytes it
  // depends on are still there, and written last.
  const __m128i last_stored = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + size - 16));
  const __m128i last_before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + size - 17));
  const __m128i last_keys = _mm_shuffle_epi8(table, _mm_and_si128(last_before, nibble));
  const __m128i last_plain = _mm_xor_si128(last_stored, last_keys);
  const auto next_index = static_cast<std::uint8_t>(bytes[size - 1] & 0x0F);

  // Lane 15 of `previous` holds the byte before the block being unmasked.
  __m128i previous = _mm_slli_si128(_mm_cvtsi32_si128(index), 15);
  std::size_t offset = 0;
  for (; offset + 16 <= size; offset += 16) {
    const __m128i stored = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + offset));
    const __m128i before = _mm_alignr_epi8(stored, previous, 15);
    const __m128i keys = _mm_shuffle_epi8(table, _mm_and_si128(before, nibble));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + offset), _mm_xor_si128(stored, keys));
    previous = stored;
  }
  if (offset < size) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + size - 16), last_plain);
  }
  return next_index;
}

// The vector path reads the byte before the last block; shorter runs go
// byte by byte.
constexpr std::size_t kShortestVectorRun = 17;

}  // namespace

bool HasVectorUnmask() noexcept { return kHasSsse3; }

std::uint8_t UnmaskVector(std::uint8_t* bytes, std::size_t size, std::uint8_t index) noexcept {
  if (size < kShortestVectorRun) return UnmaskBytewise(bytes, size, index);
  return UnmaskSsse3(bytes, size, index);
}

#else  // no vector path on this target

bool HasVectorUnmask() noexcept { return false; }

std::uint8_t UnmaskVector(std::uint8_t* bytes, std::size_t size, std::uint8_t index) noexcept {
  return UnmaskBytewise(bytes, size, index);
}

#endif

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

}  // namespace kzr
