// kzr: lists, tests, extracts and creates KZR archives through the KZR
// plugin's own exports: linked in, or loaded from a plugin binary with
// --plugin, as the file manager loads it.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <memory>
#include <string>

#include <thread>

#include "ansi_text.h"
#include "commands.h"
#include "console.h"
#include "interruption.h"
#include "plugin_api.h"

#ifndef KZR_VERSION
#error "KZR_VERSION must be defined by the build"
#endif

namespace {

using namespace kzr::cli;
namespace host = kzr::host;

constexpr const char* kDescription =
    "Lists, tests, extracts and creates KZR archives through the KZR plugin's exports.\n"
    "Exit status: 0 when everything was done, 1 when anything failed, 2 for a usage error.";

}  // namespace

int main(int argc, char** argv) {
  HandleInterruptions();
  CommandLineArguments arguments(argc, argv);
  if (!arguments.ok()) return kExitFailure;
  CLI::App app(kDescription, "kzr");
  app.set_version_flag("--version", KZR_VERSION);
  app.require_subcommand(1);
  app.fallthrough();  // the global options may follow the subcommand

  bool quiet = false;
  bool verbose = false;
  unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
  std::string plugin_path;
  app.add_flag("-q,--quiet", quiet, "Print nothing but errors (and what list and info show)");
  app.add_flag("-v,--verbose", verbose, "Name each file as it is extracted, tested or deleted");
  app.add_option("-j,--jobs", jobs,
                 "Extract or test with N handles of the archive at once (default: the cores)")
      ->type_name("N")
      ->check(CLI::Range(1u, 64u));
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
  CLI::Option* overwrite = extract_command->add_flag(
      "--overwrite", extract.overwrite,
      "Replace files that exist (by renaming the new one over them, never writing into them)");
  extract_command->add_flag("-k,--skip-existing", extract.skip_existing,
                            "Keep files that exist, quietly")
      ->excludes(overwrite);

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

  PackOptions add;
  add.add = true;
  std::string add_prefix;
  CLI::App* add_command = app.add_subcommand(
      "add", "Add files and folders to an archive, replacing entries of the same name "
             "(the archive is made if it does not exist)");
  add_command->add_option("ARCHIVE", add.archive, "The archive")->required();
  add_command->add_option("PATH", add.paths, "Files and folders to add, relative to DIR")
      ->required();
  add_command->add_option("-C,--directory", add.folder,
                          "Store names relative to DIR (default: the current folder)")
      ->type_name("DIR");
  CLI::Option* add_prefix_option = add_command->add_option(
      "--prefix", add_prefix, "Store every name under the folder SUBPATH inside the archive");
  add_prefix_option->type_name("SUBPATH");

  DeleteOptions remove;
  CLI::App* delete_command =
      app.add_subcommand("delete", "Delete the entries the patterns select from an archive");
  delete_command->add_option("ARCHIVE", remove.archive, "The archive")->required();
  delete_command->add_option("PATTERN", remove.patterns,
                             "Stored names to delete (as for extract)")
      ->required();

  std::string test_archive;
  CLI::App* test_command =
      app.add_subcommand("test", "Decode every entry in memory and report the corrupt ones");
  test_command->add_option("ARCHIVE", test_archive, "The archive")->required();

  std::string info_archive;
  CLI::App* info_command =
      app.add_subcommand("info", "Show the flavour, the header's fields and the totals");
  info_command->add_option("ARCHIVE", info_archive, "The archive")->required();

  try {
    app.parse(arguments.argc(), arguments.argv());
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? kExitOk : kExitUsage;
  }

  const Console console(quiet, verbose);
  std::unique_ptr<host::PluginModule> module;
  if (!plugin_path.empty()) {
    std::string error;
    module = host::PluginModule::Load(plugin_path, error);
    if (module && (module->Api().OpenArchive == nullptr || module->Api().PackFiles == nullptr)) {
      error = "not a packer plugin (no OpenArchive or PackFiles)";
      module.reset();
    }
    if (!module) {
      console.Error(plugin_path + ": " + error);
      return kExitFailure;
    }
  }
  const Context context{module ? module->Api() : host::LinkedPlugin(), console, jobs};

  if (list_command->parsed()) return RunList(context, list);
  if (extract_command->parsed()) return RunExtract(context, extract);
  if (pack_command->parsed()) {
    if (prefix_option->count() != 0) pack.prefix = prefix;
    return RunPack(context, pack);
  }
  if (add_command->parsed()) {
    if (add_prefix_option->count() != 0) add.prefix = add_prefix;
    return RunPack(context, add);
  }
  if (delete_command->parsed()) return RunDelete(context, remove);
  if (test_command->parsed()) return RunTest(context, test_archive);
  return RunInfo(context, info_archive);
}
