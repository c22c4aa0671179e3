// The processor features that hot loops may use beyond the target's baseline,
// and the build knobs that go with them: the one place that knows them.
//
// One optional feature is used, AVX2, and only on 64-bit x86 built by GCC or
// clang, where the stack can be kept aligned for 32-byte spills. Not where GCC
// targets the x86-64 ABI that unwinds through SEH, since GCC cannot realign
// the stack there; and not on 32-bit x86, whose builds keep the scalar paths
// (and need no stack realignment). A loop with an AVX2 path keeps a scalar one
// beside it, and a caller takes the AVX2 one only when HasAvx2() says so.
#pragma once

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && \
    !(defined(__SEH__) && !defined(__clang__))
#define KZR_AVX2_PATHS 1
#define KZR_TARGET_AVX2 __attribute__((target("avx2")))
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
