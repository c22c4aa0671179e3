// Loads the Linux plugin kzr.wcx with dlopen and resolves the exports by
// their plain names, as Double Commander does. The module's path comes from
// KZR_PLUGIN, or else from the build (KZR_SO_PATH).
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include "linux/plugin_so.h"
#include "support/plugin_api.h"

namespace kzr::test {
namespace {

void* LoadPlugin() {
  const char* env = std::getenv("KZR_PLUGIN");
  const char* path = env != nullptr ? env : KZR_SO_PATH;
  void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    std::fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
    std::exit(2);
  }
  return module;
}

template <typename Function>
void Resolve(const char* name, Function& function) {
  function = reinterpret_cast<Function>(PluginSymbol(name));
}

}  // namespace

void* PluginSymbol(const char* name) {
  static void* const module = LoadPlugin();
  return dlsym(module, name);
}

const PluginApi& Plugin() {
  static const PluginApi api = [] {
    PluginApi table;
    Resolve("OpenArchive", table.OpenArchive);
    Resolve("ReadHeader", table.ReadHeader);
    Resolve("ProcessFile", table.ProcessFile);
    Resolve("CloseArchive", table.CloseArchive);
    Resolve("SetChangeVolProc", table.SetChangeVolProc);
    Resolve("SetProcessDataProc", table.SetProcessDataProc);
    Resolve("PackFiles", table.PackFiles);
    Resolve("GetPackerCaps", table.GetPackerCaps);
    Resolve("CanYouHandleThisFile", table.CanYouHandleThisFile);
    return table;
  }();
  return api;
}

}  // namespace kzr::test
