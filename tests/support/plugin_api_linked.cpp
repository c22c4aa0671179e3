#include "support/plugin_api.h"

namespace kzr::test {

const PluginApi& Plugin() {
  static const PluginApi api = {
      ::OpenArchive,      ::ReadHeader,         ::ProcessFile,         ::CloseArchive,
      ::SetChangeVolProc, ::SetProcessDataProc, ::PackFiles,    ::DeleteFiles, ::GetPackerCaps,
      ::CanYouHandleThisFile,
  };
  return api;
}

}  // namespace kzr::test
