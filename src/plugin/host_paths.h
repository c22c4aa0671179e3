// The separator between folder names, as the host writes paths and as
// archives store names. Archives always store `\`. The Windows host uses `\`
// too, and names pass through unchanged; a host on Linux uses `/`, and the
// plugin converts at the boundary: names it lists get `/`, names it stores
// get `\`.
//
// The choice is a property of the plugin library as built, not of the
// platform alone: `kzr_plugin` (the Windows DLL, and the native contract
// tests) passes names through; `kzr_plugin_posix` (the Linux plugin and the
// Linux CLI) is compiled with KZR_HOST_POSIX_PATHS and converts. The two
// variants are never linked into one program.
#pragma once

#include <cstddef>
#include <string>

namespace kzr::host {

inline constexpr char kStoredSeparator = '\\';

#if defined(KZR_HOST_POSIX_PATHS)
#if defined(_WIN32)
#error "KZR_HOST_POSIX_PATHS is for hosts on Linux; the Windows host uses backslashes"
#endif
inline constexpr char kHostSeparator = '/';
#else
inline constexpr char kHostSeparator = '\\';
#endif

inline constexpr bool kConvertsSeparators = kHostSeparator != kStoredSeparator;

// A stored name copied into a host record, as the host shows it: rewritten
// in place up to its NUL or the end of the field, whichever comes first.
inline void StoredNameToHost(char* name, std::size_t capacity) {
  if constexpr (kConvertsSeparators) {
    for (std::size_t i = 0; i < capacity && name[i] != '\0'; ++i) {
      if (name[i] == kStoredSeparator) name[i] = kHostSeparator;
    }
  }
}

// A name the host hands over for storing, as the archive stores it.
inline void HostNameToStored(std::string& name) {
  if constexpr (kConvertsSeparators) {
    for (char& c : name) {
      if (c == kHostSeparator) c = kStoredSeparator;
    }
  }
}

}  // namespace kzr::host
