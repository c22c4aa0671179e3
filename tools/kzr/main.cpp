// kzr: lists, tests, extracts and creates KZR archives through the KZR
// plugin's own exports: linked in, or loaded from a plugin binary with
// --plugin, as the file manager loads it.
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "ansi_text.h"
#include "command_line.h"
#include "commands.h"
#include "console.h"
#include "interruption.h"
#include "plugin_api.h"

namespace {

int Run(const kzr::cli::Context& context, const kzr::cli::Invocation& invocation) {
  using namespace kzr::cli;
  switch (invocation.command) {
    case Command::kList: return RunList(context, invocation.list);
    case Command::kExtract: return RunExtract(context, invocation.extract);
    case Command::kCat: return RunCat(context, invocation.cat);
    case Command::kTest: return RunTest(context, invocation.test);
    case Command::kInfo: return RunInfo(context, invocation.info);
    case Command::kPack:
    case Command::kAdd: return RunPack(context, invocation.pack);
    case Command::kDelete: return RunDelete(context, invocation.remove);
  }
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kzr::cli;
  HandleInterruptions();
  CommandLineArguments arguments(argc, argv);
  if (!arguments.ok()) return kExitFailure;
  Invocation invocation;
  if (const int status = ParseCommandLine(arguments.argc(), arguments.argv(), invocation);
      status >= 0) {
    return status;
  }

  const Console console(invocation.quiet, invocation.verbose);
#if !defined(_WIN32)
  // The plugin reads the names' code page at every open and change.
  if (!invocation.names.empty()) setenv("KZR_NAMES", invocation.names.c_str(), 1);
#endif
  std::unique_ptr<kzr::host::PluginModule> module;
  if (!invocation.plugin_path.empty()) {
    std::string error;
    module = kzr::host::PluginModule::Load(invocation.plugin_path, error);
    if (module && (module->Api().OpenArchive == nullptr || module->Api().PackFiles == nullptr)) {
      error = "not a packer plugin (no OpenArchive or PackFiles)";
      module.reset();
    }
    if (!module) {
      console.Error(invocation.plugin_path + ": " + error);
      return kExitFailure;
    }
  }
  const Context context{module ? module->Api() : kzr::host::LinkedPlugin(), console,
                        invocation.jobs};

  const int status = Run(context, invocation);
  // Results that did not all reach stdout make the command a failure.
  const std::optional<std::string> failure = console.OutputFailure();
  if (!failure) return status;
  EndIfOutputPipeClosed();
  console.Error("standard output: write error" + (failure->empty() ? "" : ": " + *failure));
  return kExitFailure;
}
