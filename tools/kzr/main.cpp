// kzr: lists, tests, extracts and creates KZR archives through the KZR
// plugin's own exports: linked in, or loaded from a plugin binary with
// --plugin, as the file manager loads it.
#include <CLI/CLI.hpp>

#include <memory>
#include <string>

#include "commands.h"
#include "console.h"
#include "plugin_loader.h"

#ifndef KZR_VERSION
#error "KZR_VERSION must be defined by the build"
#endif

namespace {

using namespace kzr::cli;

constexpr const char* kDescription =
    "Lists, tests, extracts and creates KZR archives through the KZR plugin's exports.\n"
    "Exit status: 0 when everything was done, 1 when anything failed, 2 for a usage error.";

}  // namespace

int main(int argc, char** argv) {
  CLI::App app(kDescription, "kzr");
  app.set_version_flag("--version", KZR_VERSION);
  app.require_subcommand(1);
  app.fallthrough();  // the global options may follow the subcommand

  bool quiet = false;
  std::string plugin_path;
  app.add_flag("-q,--quiet", quiet, "Print nothing but errors (and what list and info show)");
  app.add_option("--plugin", plugin_path,
                 "Load the plugin binary at PATH and use its exports instead of the built-in ones")
      ->type_name("PATH");

  ListOptions list;
  CLI::App* list_command = app.add_subcommand("list", "List the entries of an archive");
  list_command->add_option("ARCHIVE", list.archive, "The archive")->required();
  list_command->add_flag("--json", list.json,
                         "One JSON object: \"entries\" (name, packed, unpacked, compressed) and "
                         "\"complete\"; bytes from 0x80 up are written as \\u00XX");

  ExtractOptions extract;
  CLI::App* extract_command =
      app.add_subcommand("extract", "Extract every entry, or those the patterns select");
  extract_command->add_option("ARCHIVE", extract.archive, "The archive")->required();
  extract_command->add_option("PATTERN", extract.patterns,
                              "Stored names to extract: * and ? as wildcards, / or \\ between "
                              "folders, letters in any case; a folder selects what it holds");
  extract_command->add_option("-C,--directory", extract.folder,
                              "Extract into DIR (made if missing; default: the current folder)")
      ->type_name("DIR");
  extract_command->add_flag("--overwrite", extract.overwrite, "Replace files that exist");

  PackOptions pack;
  std::string prefix;
  CLI::App* pack_command = app.add_subcommand(
      "pack", "Create an archive from files and folders (folders are packed with what they hold)");
  pack_command->add_option("ARCHIVE", pack.archive, "The archive to create (replaced if it exists)")
      ->required();
  pack_command->add_option("PATH", pack.paths,
                           "Files and folders to pack, relative to DIR, inside DIR")
      ->required();
  pack_command->add_option("-C,--directory", pack.folder,
                           "Store names relative to DIR (default: the current folder)")
      ->type_name("DIR");
  CLI::Option* prefix_option = pack_command->add_option(
      "--prefix", prefix, "Store every name under the folder SUBPATH inside the archive");
  prefix_option->type_name("SUBPATH");
  pack_command->add_flag("--overwrite", pack.overwrite,
                         "Replace ARCHIVE even if it exists and is not a KZR archive");

  std::string test_archive;
  CLI::App* test_command =
      app.add_subcommand("test", "Decode every entry in memory and report the corrupt ones");
  test_command->add_option("ARCHIVE", test_archive, "The archive")->required();

  std::string info_archive;
  CLI::App* info_command =
      app.add_subcommand("info", "Show the flavour, the header's fields and the totals");
  info_command->add_option("ARCHIVE", info_archive, "The archive")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? kExitOk : kExitUsage;
  }

  const Console console(quiet);
  std::unique_ptr<PluginModule> module;
  if (!plugin_path.empty()) {
    std::string error;
    module = PluginModule::Load(plugin_path, error);
    if (!module) {
      console.Error(plugin_path + ": " + error);
      return kExitFailure;
    }
  }
  const Context context{module ? module->Api() : LinkedPlugin(), console};

  if (list_command->parsed()) return RunList(context, list);
  if (extract_command->parsed()) return RunExtract(context, extract);
  if (pack_command->parsed()) {
    if (prefix_option->count() != 0) pack.prefix = prefix;
    return RunPack(context, pack);
  }
  if (test_command->parsed()) return RunTest(context, test_archive);
  return RunInfo(context, info_archive);
}
