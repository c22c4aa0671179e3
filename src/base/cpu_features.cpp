#include "base/cpu_features.h"

namespace kzr::cpu {

#if KZR_AVX2_PATHS
namespace {

bool DetectAvx2() noexcept {
  __builtin_cpu_init();  // this may run before the runtime's own detection
  // The runtime counts AVX2 only where the system saves the 256-bit registers.
  return __builtin_cpu_supports("avx2");
}

}  // namespace

const bool kHasAvx2 = DetectAvx2();
#endif

}  // namespace kzr::cpu
