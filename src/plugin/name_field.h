// The host's name field: 260 bytes that hold an entry's stored name, cut to
// 259 bytes, and NUL bytes from the name's end to the field's end. A listing
// fills one per entry, so it is written with few stores and, for the names
// most archives hold, no branch on the name's length.
#pragma once

#include <cstddef>

#include "archive/entry_view.h"
#include "base/cpu_features.h"
#include "plugin/host_interface.h"

namespace kzr {

inline constexpr std::size_t kNameFieldSize = host::kHeaderNameSize;

// Fills `field` with the `length` bytes at `name`. `readable` counts the
// bytes from `name` on that may be read (at least `length`); no other byte
// is read. The scalar fill runs on every target; the AVX2 one is the same
// code compiled for 32-byte vectors, where cpu::HasAvx2().
void FillNameFieldScalar(char* field, const char* name, std::size_t length,
                         std::size_t readable) noexcept;
#if KZR_AVX2_PATHS
void FillNameFieldAvx2(char* field, const char* name, std::size_t length,
                       std::size_t readable) noexcept;
#endif

inline void FillNameField(char* field, const EntryView& entry) noexcept {
#if KZR_AVX2_PATHS
  if (cpu::HasAvx2()) {
    return FillNameFieldAvx2(field, entry.Name(), entry.NameLength(), entry.ReadableFromName());
  }
#endif
  FillNameFieldScalar(field, entry.Name(), entry.NameLength(), entry.ReadableFromName());
}

}  // namespace kzr
