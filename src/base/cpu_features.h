// The processor features that hot loops may use beyond the target's
// baseline: the one place that knows them.
//
// 32-bit x86 builds target processors without SSE2, which every x86-64 one
// has; there the LZW decoder's block loop, whose copies SSE2 makes cheaper
// (extraction throughput), is compiled a second time for it and taken where
// HasSse2() says so.
#pragma once

// A masked directory is unmasked 16 bytes at a time with SSSE3's byte
// shuffle where the processor has it (x86 with GCC or clang): opening a
// masked archive is mostly that.
#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define KZR_SSSE3_PATHS 1
#define KZR_TARGET_SSSE3 __attribute__((target("ssse3")))
#else
#define KZR_SSSE3_PATHS 0
#endif

#if defined(__i386__) && !defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))
#define KZR_SSE2_PATHS 1
#define KZR_TARGET_SSE2 __attribute__((target("sse2")))
#else
#define KZR_SSE2_PATHS 0
#endif

namespace kzr::cpu {

#if KZR_SSSE3_PATHS
extern const bool kHasSsse3;  // set once, when the program starts
#endif

#if KZR_SSE2_PATHS
extern const bool kHasSse2;  // set once, when the program starts
#endif

}  // namespace kzr::cpu
