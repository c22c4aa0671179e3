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
    table.PackSetDefaultParams = ::PackSetDefaultParams;
    table.ReaderOf = [](Handle handle) -> ArchiveReader* {
      return handle != nullptr ? kzr::FromHostHandle(handle)->reader.get() : nullptr;
    };
    table.WholeNameLength = [](Handle handle) -> std::size_t {
      kzr::ArchiveHandle* archive = kzr::FromHostHandle(handle);
      const EntryView entry = archive->reader->index().CurrentEntry();
      return entry ? kzr::WholeReportedNameLength(*archive, entry) : 0;
    };
    return table;
  }();
  return api;
}

}  // namespace kzr::host
