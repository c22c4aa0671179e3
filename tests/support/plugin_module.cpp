#include "support/plugin_api.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace kzr::host {
namespace {

#if defined(_WIN32)
void* OpenModule(const std::string& path, std::string& error) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) {
    error = "cannot load the plugin (Windows error " + std::to_string(GetLastError()) + ")";
  }
  return reinterpret_cast<void*>(module);
}
void* FindSymbol(void* module, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}
void CloseModule(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }
#else
void* OpenModule(const std::string& path, std::string& error) {
  // A bare file name would be looked for on the library path, not here.
  const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* reason = dlerror();
    error = "cannot load the plugin";
    if (reason != nullptr) error += std::string(": ") + reason;
  }
  return module;
}
void* FindSymbol(void* module, const char* name) { return dlsym(module, name); }
void CloseModule(void* module) { dlclose(module); }
#endif

template <typename Function>
void Resolve(void* module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(FindSymbol(module, name));
}

}  // namespace

PluginModule::~PluginModule() {
  if (module_ != nullptr) CloseModule(module_);
}

std::unique_ptr<PluginModule> PluginModule::Load(const std::string& path, std::string& error) {
  std::unique_ptr<PluginModule> plugin(new PluginModule);
  plugin->module_ = OpenModule(path, error);
  if (plugin->module_ == nullptr) return nullptr;
  void* const module = plugin->module_;
  PluginApi& api = plugin->api_;
  Resolve(module, "OpenArchive", api.OpenArchive);
  Resolve(module, "ReadHeader", api.ReadHeader);
  Resolve(module, "ProcessFile", api.ProcessFile);
  Resolve(module, "CloseArchive", api.CloseArchive);
  Resolve(module, "SetChangeVolProc", api.SetChangeVolProc);
  Resolve(module, "SetProcessDataProc", api.SetProcessDataProc);
  Resolve(module, "PackFiles", api.PackFiles);
  Resolve(module, "DeleteFiles", api.DeleteFiles);
  Resolve(module, "GetPackerCaps", api.GetPackerCaps);
  Resolve(module, "CanYouHandleThisFile", api.CanYouHandleThisFile);
  Resolve(module, "PackSetDefaultParams", api.PackSetDefaultParams);
  Resolve(module, "ReadHeaderEx", api.ReadHeaderEx);
  Resolve(module, "GetBackgroundFlags", api.GetBackgroundFlags);
  Resolve(module, "OpenArchiveW", api.OpenArchiveW);
  Resolve(module, "ReadHeaderExW", api.ReadHeaderExW);
  Resolve(module, "ProcessFileW", api.ProcessFileW);
  Resolve(module, "SetChangeVolProcW", api.SetChangeVolProcW);
  Resolve(module, "SetProcessDataProcW", api.SetProcessDataProcW);
  Resolve(module, "PackFilesW", api.PackFilesW);
  Resolve(module, "DeleteFilesW", api.DeleteFilesW);
  Resolve(module, "CanYouHandleThisFileW", api.CanYouHandleThisFileW);
  Resolve(module, "ConfigurePacker", api.ConfigurePacker);
  return plugin;
}

void* PluginModule::Symbol(const char* name) const { return FindSymbol(module_, name); }

}  // namespace kzr::host
