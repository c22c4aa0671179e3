// The Linux plugin module as its tests reach it (tests/linux/plugin_api_so.cpp).
#pragma once

namespace kzr::test {

// dlsym on the loaded kzr.wcx: any dynamic symbol by name, or null. Loads the
// module on first use; exits the process if it cannot be loaded.
void* PluginSymbol(const char* name);

}  // namespace kzr::test
