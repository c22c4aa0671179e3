// The real plugin DLL as the Windows tests reach it, for what only the
// module itself has: its resources and the About box export.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "support/plugin_under_test.h"

namespace kzr::test {

// Loads the plugin on first use; exits the process if it cannot be loaded.
inline HMODULE PluginModule() { return static_cast<HMODULE>(LoadedPlugin()->Handle()); }

// An export of the plugin by its plain name, or null if it has none.
template <typename Function>
Function PluginExport(const char* name) {
  return reinterpret_cast<Function>(LoadedPlugin()->Symbol(name));
}

}  // namespace kzr::test
