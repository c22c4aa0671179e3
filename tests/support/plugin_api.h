// The plugin's exports as the tests reach them: linked in natively, or looked
// up by name in the real DLL, as the file manager does. The contract tests are
// written once against this table and run both ways.
#pragma once

#include "plugin/exports.h"

namespace kzr::test {

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
};

// The table; a missing export is null. Fails the process if the plugin cannot
// be loaded at all.
const PluginApi& Plugin();

}  // namespace kzr::test
