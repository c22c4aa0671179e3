#include "base/cpu_features.h"

namespace kzr::cpu {

// Each set once, when the program starts, which may be before the runtime's
// own detection has run.
#if KZR_AVX2_PATHS
// The runtime counts AVX2 only where the system saves the 256-bit registers.
const bool kHasAvx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2") != 0);
#endif
#if KZR_SSE2_PATHS
const bool kHasSse2 = (__builtin_cpu_init(), __builtin_cpu_supports("sse2") != 0);
#endif

}  // namespace kzr::cpu
