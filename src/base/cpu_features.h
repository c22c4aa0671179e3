// The processor features that hot loops may use beyond the target's baseline,
// and the build knobs that go with them: the one place that knows them.
//
// One optional feature is used, AVX2, on x86 built by GCC or clang. Not where
// GCC targets the 64-bit ABI that unwinds through SEH, since GCC cannot
// realign the stack there. (On 32-bit Windows the exports align the stack
// the host hands them: see host_interface.h.) A loop with an AVX2 path keeps
// a scalar one beside it, and a caller takes the AVX2 one only when
// HasAvx2() says so.
//
// 32-bit x86 builds target processors without SSE2, which every x86-64 one
// has; there the LZW decoder's block loop, whose copies SSE2 makes cheaper,
// is compiled a second time for it and taken where HasSse2() says so.
#pragma once

#include <cstddef>
#include <cstdint>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__)) && \
    !(defined(__SEH__) && !defined(__clang__))
#define KZR_AVX2_PATHS 1
#define KZR_TARGET_AVX2 __attribute__((target("avx2")))
#else
#define KZR_AVX2_PATHS 0
#endif

#if defined(__i386__) && !defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))
#define KZR_SSE2_PATHS 1
#define KZR_TARGET_SSE2 __attribute__((target("sse2")))
#else
#define KZR_SSE2_PATHS 0
#endif

namespace kzr::cpu {

// Asks for the cache line `ahead` bytes after `address` before it is used,
// where the compiler can. That line may lie past the end of the buffer: a
// prefetch never faults, and its address is reckoned as a number, not as a
// pointer into the buffer.
inline void Prefetch(const void* address, std::size_t ahead) noexcept {
#if defined(__GNUC__) || defined(__clang__)
  const std::uintptr_t line = reinterpret_cast<std::uintptr_t>(address) + ahead;
  __builtin_prefetch(reinterpret_cast<const void*>(line));
#else
  static_cast<void>(address);
  static_cast<void>(ahead);
#endif
}

#if KZR_AVX2_PATHS
// Set once, when the program starts: the processor has AVX2 and the system
// saves the 256-bit registers.
extern const bool kHasAvx2;
inline bool HasAvx2() noexcept { return kHasAvx2; }
#else
inline constexpr bool HasAvx2() noexcept { return false; }
#endif

#if KZR_SSE2_PATHS
extern const bool kHasSse2;  // set once, when the program starts
inline bool HasSse2() noexcept { return kHasSse2; }
#endif

}  // namespace kzr::cpu
