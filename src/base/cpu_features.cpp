#include "base/cpu_features.h"

namespace kzr::cpu {

#if KZR_SSSE3_PATHS
const bool kHasSsse3 = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3") != 0);
#endif
#if KZR_SSE2_PATHS
// Set once, when the program starts, which may be before the runtime's own
// detection has run.
const bool kHasSse2 = (__builtin_cpu_init(), __builtin_cpu_supports("sse2") != 0);
#endif

}  // namespace kzr::cpu
