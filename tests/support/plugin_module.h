// The real plugin DLL as the Windows tests reach it: the module that
// support/plugin_api_dll.cpp loads once, for tests that need the module
// itself (its resources, or exports that only exist on Windows).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace kzr::test {

// Loads the plugin on first use; exits the process if it cannot be loaded.
HMODULE PluginModule();

// An export of the plugin by its plain name, or null if it has none.
template <typename Function>
Function PluginExport(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(PluginModule(), name)));
}

}  // namespace kzr::test
