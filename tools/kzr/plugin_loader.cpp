#include "plugin_loader.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace kzr::cli {
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
bool Resolve(void* module, const char* name, Function& function, std::string& error) {
  function = reinterpret_cast<Function>(FindSymbol(module, name));
  if (function == nullptr) error = std::string("has no export ") + name;
  return function != nullptr;
}

}  // namespace

PluginModule::~PluginModule() {
  if (module_ != nullptr) CloseModule(module_);
}

std::unique_ptr<PluginModule> PluginModule::Load(const std::string& path, std::string& error) {
  std::unique_ptr<PluginModule> plugin(new PluginModule);
  plugin->module_ = OpenModule(path, error);
  if (plugin->module_ == nullptr) return nullptr;
  PluginApi& api = plugin->api_;
  const bool complete = Resolve(plugin->module_, "OpenArchive", api.OpenArchive, error) &&
                        Resolve(plugin->module_, "ReadHeader", api.ReadHeader, error) &&
                        Resolve(plugin->module_, "ProcessFile", api.ProcessFile, error) &&
                        Resolve(plugin->module_, "CloseArchive", api.CloseArchive, error) &&
                        Resolve(plugin->module_, "SetProcessDataProc", api.SetProcessDataProc,
                                error) &&
                        Resolve(plugin->module_, "PackFiles", api.PackFiles, error) &&
                        Resolve(plugin->module_, "CanYouHandleThisFile",
                                api.CanYouHandleThisFile, error);
  if (!complete) return nullptr;
  return plugin;
}

const PluginApi& LinkedPlugin() {
  static const PluginApi api = {
      ::OpenArchive, ::ReadHeader, ::ProcessFile,          ::CloseArchive,
      ::SetProcessDataProc, ::PackFiles, ::CanYouHandleThisFile,
  };
  return api;
}

}  // namespace kzr::cli
