// The processor features that hot loops may use beyond the target's baseline,
// and the build knobs that go with them: the one place that knows them.
//
// One optional feature is used, AVX2, on x86 built by GCC or clang. Not where
// GCC targets the 64-bit ABI that unwinds through SEH, since GCC cannot
// realign the stack there. On 32-bit x86 the stack is only 4-byte aligned
// where Windows programs call in, so each AVX2 function aligns its own stack
// for its vector spills. A loop with an AVX2 path keeps a scalar one beside
// it, and a caller takes the AVX2 one only when HasAvx2() says so.
#pragma once

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__)) && \
    !(defined(__SEH__) && !defined(__clang__))
#define KZR_AVX2_PATHS 1
#if defined(__i386__)
#define KZR_TARGET_AVX2 __attribute__((target("avx2"), force_align_arg_pointer))
#else
#define KZR_TARGET_AVX2 __attribute__((target("avx2")))
#endif
#else
#define KZR_AVX2_PATHS 0
#endif

namespace kzr::cpu {

#if KZR_AVX2_PATHS
// Set once, when the program starts: the processor has AVX2 and the system
// saves the 256-bit registers.
extern const bool kHasAvx2;
inline bool HasAvx2() noexcept { return kHasAvx2; }
#else
inline constexpr bool HasAvx2() noexcept { return false; }
#endif

}  // namespace kzr::cpu
