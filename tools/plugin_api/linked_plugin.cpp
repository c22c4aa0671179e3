#include "plugin/archive_handle.h"
#include "plugin_api.h"

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
    table.ReaderOf = [](ArchiveHandle handle) -> ArchiveReader* {
      return handle != nullptr ? kzr::FromHostHandle(handle)->reader.get() : nullptr;
    };
    return table;
  }();
  return api;
}

}  // namespace kzr::host
