#include "support/plugin_api.h"

namespace kzr::host {

const PluginApi& LinkedPlugin() {
  static const PluginApi api = [] {
    PluginApi table;
    table.OpenArchive = ::OpenArchive;
    table.ReadHeader = ::ReadHeader;
    table.ProcessFile = ::ProcessFile;
    table.CloseArchive = ::CloseArchive;
    table.SetChangeVolProc = ::SetChangeVolProc;
    table.SetProcessDataProc = ::SetProcessDataProc;
    table.PackFiles = ::PackFiles;
    table.DeleteFiles = ::DeleteFiles;
    table.GetPackerCaps = ::GetPackerCaps;
    table.CanYouHandleThisFile = ::CanYouHandleThisFile;
    table.PackSetDefaultParams = ::PackSetDefaultParams;
    table.ReadHeaderEx = ::ReadHeaderEx;
    table.GetBackgroundFlags = ::GetBackgroundFlags;
    table.OpenArchiveW = ::OpenArchiveW;
    table.ReadHeaderExW = ::ReadHeaderExW;
    table.ProcessFileW = ::ProcessFileW;
    table.SetChangeVolProcW = ::SetChangeVolProcW;
    table.SetProcessDataProcW = ::SetProcessDataProcW;
    table.PackFilesW = ::PackFilesW;
    table.DeleteFilesW = ::DeleteFilesW;
    table.CanYouHandleThisFileW = ::CanYouHandleThisFileW;
    return table;
  }();
  return api;
}

}  // namespace kzr::host
