#include "support/plugin_under_test.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace kzr::test {

#if defined(KZR_PLUGIN_FILE)

// Loaded once and never unloaded, as a file manager keeps its plugins: what
// the plugin keeps for its whole life stays reachable.
const host::PluginModule* LoadedPlugin() {
  static const host::PluginModule* const module = [] {
    const char* chosen = std::getenv("KZR_PLUGIN");
    const std::string path = chosen != nullptr ? chosen : KZR_PLUGIN_FILE;
    std::string error;
    std::unique_ptr<host::PluginModule> loaded = host::PluginModule::Load(path, error);
    if (!loaded) {
      std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
      std::exit(2);
    }
    return loaded.release();
  }();
  return module;
}

const PluginApi& Plugin() { return LoadedPlugin()->Api(); }

#else

const host::PluginModule* LoadedPlugin() { return nullptr; }

const PluginApi& Plugin() { return host::LinkedPlugin(); }

#endif

}  // namespace kzr::test
