// The host's name field: 260 bytes that hold an entry's name as the host is
// told it, cut to 259 bytes, and NUL bytes from the name's end to the field's
// end, with the host's separator between folders. A listing fills one per
// entry, so the common case (a name shorter than 64 bytes that needs no
// cleaning) is one pass over a 64-byte window, with no branch on the name's
// length, that copies the name, converts its separators and tells whether
// it is clean (see host_names.h), all at once.
#pragma once

#include <cstddef>

#include "archive/entry_view.h"
#include "base/cpu_features.h"
#include "plugin/host_interface.h"

namespace kzr {

inline constexpr std::size_t kNameFieldSize = host::kHeaderNameSize;

// Fills `field` with the `length` bytes at `name`, separators converted for
// the host, and returns true, when the name is clean (and, with
// `ascii_only`, all ASCII: a name to convert takes another way); returns
// false, with the field's bytes unspecified, when it is not. `readable`
// counts the bytes from `name` on that may be read (at least `length`); no
// other byte is read. The AVX2 fill is the same work in 32-byte vectors,
// where cpu::HasAvx2().
bool FillNameFieldScalar(char* field, const char* name, std::size_t length,
                         std::size_t readable, bool ascii_only = false) noexcept;
#if KZR_AVX2_PATHS
bool FillNameFieldAvx2(char* field, const char* name, std::size_t length,
                       std::size_t readable, bool ascii_only = false) noexcept;
#endif

// Fills `field` with a name already cleaned (and cut to at most 259 bytes):
// the name as it is, separators converted for the host, NUL to the end.
void FillNameFieldCleaned(char* field, const char* name, std::size_t length) noexcept;

inline bool FillNameField(char* field, const EntryView& entry, bool ascii_only = false) noexcept {
#if KZR_AVX2_PATHS
  if (cpu::HasAvx2()) {
    return FillNameFieldAvx2(field, entry.Name(), entry.NameLength(), entry.ReadableFromName(),
                             ascii_only);
  }
#endif
  return FillNameFieldScalar(field, entry.Name(), entry.NameLength(), entry.ReadableFromName(),
                             ascii_only);
}

}  // namespace kzr
