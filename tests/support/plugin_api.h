// The plugin's exports as a test host reaches them: linked in, or looked up
// by their plain names in a plugin binary (KZR.wcx, KZR.wcx64, kzr.wcx) as a
// file manager does. The contract tests, the test host program, the fuzz
// targets and the benchmarks all go through this one table.
#pragma once

#include <memory>
#include <string>

#include "plugin/exports.h"

namespace kzr::host {

using ConfigurePackerProc = int(KZR_API*)(void* parent, void* module);

struct PluginApi {
  decltype(&::OpenArchive) OpenArchive = nullptr;
  decltype(&::ReadHeader) ReadHeader = nullptr;
  decltype(&::ProcessFile) ProcessFile = nullptr;
  decltype(&::CloseArchive) CloseArchive = nullptr;
  decltype(&::SetChangeVolProc) SetChangeVolProc = nullptr;
  decltype(&::SetProcessDataProc) SetProcessDataProc = nullptr;
  decltype(&::PackFiles) PackFiles = nullptr;
  decltype(&::DeleteFiles) DeleteFiles = nullptr;
  decltype(&::GetPackerCaps) GetPackerCaps = nullptr;
  decltype(&::CanYouHandleThisFile) CanYouHandleThisFile = nullptr;
  decltype(&::PackSetDefaultParams) PackSetDefaultParams = nullptr;
  decltype(&::ReadHeaderEx) ReadHeaderEx = nullptr;
  decltype(&::GetBackgroundFlags) GetBackgroundFlags = nullptr;
  // The wide twins, which a host calls in place of the ANSI ones.
  decltype(&::OpenArchiveW) OpenArchiveW = nullptr;
  decltype(&::ReadHeaderExW) ReadHeaderExW = nullptr;
  decltype(&::ProcessFileW) ProcessFileW = nullptr;
  decltype(&::SetChangeVolProcW) SetChangeVolProcW = nullptr;
  decltype(&::SetProcessDataProcW) SetProcessDataProcW = nullptr;
  decltype(&::PackFilesW) PackFilesW = nullptr;
  decltype(&::DeleteFilesW) DeleteFilesW = nullptr;
  decltype(&::CanYouHandleThisFileW) CanYouHandleThisFileW = nullptr;
  ConfigurePackerProc ConfigurePacker = nullptr;  // Windows DLLs only
};

// A loaded plugin binary; its table stays valid while this object lives.
class PluginModule {
 public:
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;
  ~PluginModule();

  // Loads the binary at `path` and looks up every export; one it lacks is
  // null in the table. Null, with the reason in `error`, when it cannot be
  // loaded.
  static std::unique_ptr<PluginModule> Load(const std::string& path, std::string& error);

  const PluginApi& Api() const { return api_; }
  // Any exported name, or null.
  void* Symbol(const char* name) const;
  // The module handle (an HMODULE on Windows).
  void* Handle() const { return module_; }

 private:
  PluginModule() = default;

  void* module_ = nullptr;
  PluginApi api_;
};

// The exports linked into this program (library kzr_linked_plugin).
const PluginApi& LinkedPlugin();

}  // namespace kzr::host
