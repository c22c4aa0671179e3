// The plugin's exports as the tool reaches them: linked into the tool, or
// looked up by name in a plugin binary, as the file manager does. Every
// command goes through this table, so the tool and the file manager share one
// code path.
#pragma once

#include <memory>
#include <string>

#include "plugin/exports.h"

namespace kzr::cli {

struct PluginApi {
  decltype(&::OpenArchive) OpenArchive = nullptr;
  decltype(&::ReadHeader) ReadHeader = nullptr;
  decltype(&::ProcessFile) ProcessFile = nullptr;
  decltype(&::CloseArchive) CloseArchive = nullptr;
  decltype(&::SetProcessDataProc) SetProcessDataProc = nullptr;
  decltype(&::PackFiles) PackFiles = nullptr;
  decltype(&::CanYouHandleThisFile) CanYouHandleThisFile = nullptr;
};

// A loaded plugin binary; the table stays valid while this object lives.
class PluginModule {
 public:
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;
  ~PluginModule();

  const PluginApi& Api() const { return api_; }

  // Loads the binary at `path` and resolves every export of the table by its
  // plain name. On failure returns null and says why in `error`.
  static std::unique_ptr<PluginModule> Load(const std::string& path, std::string& error);

 private:
  PluginModule() = default;

  void* module_ = nullptr;  // HMODULE on Windows, a dlopen handle elsewhere
  PluginApi api_;
};

// The exports linked into the tool.
const PluginApi& LinkedPlugin();

}  // namespace kzr::cli
