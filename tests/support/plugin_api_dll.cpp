// Loads the real plugin DLL with LoadLibrary and resolves the exports by
// their plain names, as the file manager does.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "support/plugin_api.h"
#include "support/plugin_module.h"

namespace kzr::test {
namespace {

#ifdef _WIN64
constexpr const char* kPluginFile = "KZR.wcx64";
#else
constexpr const char* kPluginFile = "KZR.wcx";
#endif

HMODULE LoadPlugin() {
  const char* path = std::getenv("KZR_PLUGIN");
  HMODULE module = LoadLibraryA(path != nullptr ? path : kPluginFile);
  if (module == nullptr) {
    std::fprintf(stderr, "cannot load %s (error %lu)\n", path != nullptr ? path : kPluginFile,
                 GetLastError());
    std::exit(2);
  }
  return module;
}

template <typename Function>
void Resolve(HMODULE module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

HMODULE PluginModule() {
  static const HMODULE module = LoadPlugin();
  return module;
}

const PluginApi& Plugin() {
  static const PluginApi api = [] {
    const HMODULE module = PluginModule();
    PluginApi table;
    Resolve(module, "OpenArchive", table.OpenArchive);
    Resolve(module, "ReadHeader", table.ReadHeader);
    Resolve(module, "ProcessFile", table.ProcessFile);
    Resolve(module, "CloseArchive", table.CloseArchive);
    Resolve(module, "SetChangeVolProc", table.SetChangeVolProc);
    Resolve(module, "SetProcessDataProc", table.SetProcessDataProc);
    Resolve(module, "PackFiles", table.PackFiles);
    Resolve(module, "DeleteFiles", table.DeleteFiles);
    Resolve(module, "GetPackerCaps", table.GetPackerCaps);
    Resolve(module, "CanYouHandleThisFile", table.CanYouHandleThisFile);
    return table;
  }();
  return api;
}

}  // namespace kzr::test
