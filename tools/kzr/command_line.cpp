#include "command_line.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <thread>
#include <vector>

#include "command_suggestion.h"

#ifndef KZR_VERSION
#error "KZR_VERSION must be defined by the build"
#endif

namespace kzr::cli {
namespace {

constexpr const char* kDescription =
    "Lists, tests, extracts and creates KZR archives, the resource archives of Korvanta.\n"
    "Exit status: 0 when everything was done, 1 when anything failed, 2 for a usage error.";

constexpr const char* kPatternHelp =
    "Stored names to choose: * and ? as wildcards, [a-z] and [!x] for one character of a class "
    "(or not), / or \\ between folders, letters in any case; a folder chooses what it holds "
    "(default: every entry)";

struct CommandName {
  const char* name;
  std::vector<const char*> aliases;
};

// The commands and their aliases, in the order help shows them.
const std::vector<CommandName>& CommandNames() {
  static const std::vector<CommandName> names = {
      {"list", {"l", "ls"}}, {"extract", {"x"}},     {"cat", {}},  {"test", {"t"}},
      {"info", {}},          {"pack", {"c"}},        {"add", {"a"}}, {"delete", {"d", "rm"}},
      {"help", {}},
  };
  return names;
}

std::vector<std::string> KnownNames(bool with_aliases) {
  std::vector<std::string> known;
  for (const CommandName& command : CommandNames()) known.emplace_back(command.name);
  if (with_aliases) {
    for (const CommandName& command : CommandNames()) {
      for (const char* alias : command.aliases) known.emplace_back(alias);
    }
  }
  return known;
}

bool IsKnown(const std::string& word) {
  const std::vector<std::string> known = KnownNames(true);
  return std::find(known.begin(), known.end(), word) != known.end();
}

// "kzr: no command 'lst'; did you mean 'list'? (kzr --help lists them)"
int UnknownCommand(const std::string& word) {
  std::string message = "kzr: no command '" + word + "'";
  if (const std::optional<std::string> nearest = NearestName(word, KnownNames(true))) {
    message += "; did you mean '" + *nearest + "'?";
  }
  std::fprintf(stderr, "%s (kzr --help lists the commands)\n", message.c_str());
  return kExitUsage;
}

// A command with its aliases (help lists them beside its name).
CLI::App* AddCommand(CLI::App& app, const char* name, const std::string& description) {
  const auto found = std::find_if(CommandNames().begin(), CommandNames().end(),
                                  [&](const CommandName& command) {
                                    return std::string_view(command.name) == name;
                                  });
  CLI::App* command = app.add_subcommand(name, description);
  for (const char* alias : found->aliases) command->alias(alias);
  return command;
}

void AddArchive(CLI::App* command, std::string& archive, const char* description = "The archive") {
  command->add_option("ARCHIVE", archive, description)->required();
}

void AddChoice(CLI::App* command, Choice& choice, const char* help = kPatternHelp) {
  command->add_option("PATTERN", choice.patterns, help);
  command->add_option("--exclude", choice.excludes,
                      "Leave out the entries PATTERN chooses (as for PATTERN; may be repeated)")
      ->type_name("PATTERN")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

// CLI11 reads a word in brackets given to an option of many values ("[ab]",
// "[a,c]") as a list written out, and splits it at its commas without the
// brackets; to kzr such a word is a pattern or a path like any other. Those
// words (and any that begins with the guard) reach CLI11 behind a guard
// byte, which every option strips again before it takes the value.
constexpr char kGuard = '\x1F';

bool NeedsGuard(std::string_view word) {
  return (word.size() >= 2 && word.front() == '[' && word.back() == ']') ||
         (!word.empty() && word.front() == kGuard);
}

// An empty DIR would be taken for the root folder.
const CLI::Validator kNotEmpty(
    [](const std::string& value) { return value.empty() ? "must not be empty" : std::string(); },
    "");

void StripGuards(CLI::App& command) {
  static const CLI::Validator strip(
      [](std::string& word) {
        if (!word.empty() && word.front() == kGuard) word.erase(0, 1);
        return std::string();
      },
      "");
  for (CLI::Option* option : command.get_options()) {
    if (option->get_items_expected_max() > 0) option->transform(strip);
  }
  for (CLI::App* subcommand : command.get_subcommands([](CLI::App*) { return true; })) {
    StripGuards(*subcommand);
  }
}

}  // namespace

int ParseCommandLine(int argc, char** argv, Invocation& invocation) {
  // Before CLI11, which would only say that a command is required.
  const std::optional<std::string> word =
      CommandWord(argc, argv, {"-j", "--jobs", "--names"});
  if (word && !IsKnown(*word)) return UnknownCommand(*word);
  if (!word) {
    bool asks = false;
    for (int i = 1; i < argc; ++i) {
      const std::string_view argument = argv[i];
      asks = asks || argument == "-h" || argument == "--help" || argument == "-V" ||
             argument == "--version";
    }
    if (!asks) {
      std::fprintf(stderr,
                   "kzr: a command is required: list, extract, cat, test, info, pack, add or "
                   "delete (kzr --help tells more)\n");
      return kExitUsage;
    }
  }

  CLI::App app(kDescription, "kzr");
  app.allow_windows_style_options(false);  // inherited by the commands made below
  app.set_version_flag("-V,--version", std::string("kzr ") + KZR_VERSION,
                       "Print the name and version (kzr " KZR_VERSION ") and exit");
  app.require_subcommand(1);
  app.fallthrough();  // the global options may follow the command

  invocation.jobs = std::max(1u, std::thread::hardware_concurrency());
  app.add_flag("-q,--quiet", invocation.quiet,
               "Print nothing but errors (and what list, cat and info show)");
  app.add_flag("-v,--verbose", invocation.verbose,
               "Name each file as it is extracted, tested, packed, added or deleted");
  app.add_option("-j,--jobs", invocation.jobs,
                 "Extract or test N entries at once (default: the cores)")
      ->type_name("N")
      ->check(CLI::Range(1u, 64u));
  app.add_option("--names", invocation.names,
                 "The code page of the names in archives (default: KZR_NAMES, else CP1250)")
      ->type_name("CODEPAGE");

  ListOptions& list = invocation.list;
  CLI::App* list_command = AddCommand(app, "list", "List the entries of an archive");
  AddArchive(list_command, list.archive);
  AddChoice(list_command, list.choice);
  list_command->add_flag("--json", list.json,
                         "One JSON object: \"schema_version\", \"archive\", \"entries\" (name "
                         "as text with / between folders, stored: the name's bytes in hex, "
                         "packed, unpacked, compressed), \"complete\" (and \"error\" if it cannot "
                         "be opened)");
  list_command->add_flag("-H,--human", list.human, "Sizes in B, KiB, MiB and GiB");
  list_command->add_flag("-1,--names", list.names_only,
                         "Only the names, one a line, as PATTERN takes them (for scripts)");

  ExtractOptions& extract = invocation.extract;
  CLI::App* extract_command =
      AddCommand(app, "extract", "Extract every entry, or those the patterns choose");
  AddArchive(extract_command, extract.archive);
  AddChoice(extract_command, extract.choice);
  extract_command->add_option("-C,--directory", extract.folder,
                              "Extract into DIR (made if missing; default: the current folder)")
      ->type_name("DIR")
      ->check(kNotEmpty);
  CLI::Option* overwrite = extract_command->add_flag(
      "--overwrite", extract.overwrite,
      "Replace files that exist (by renaming the new one over them, never writing into them)");
  extract_command->add_flag("-k,--skip-existing", extract.skip_existing,
                            "Keep files that exist, quietly")
      ->excludes(overwrite);

  CatOptions& cat = invocation.cat;
  CLI::App* cat_command = AddCommand(
      app, "cat", "Write members to standard output byte for byte, in the order named");
  AddArchive(cat_command, cat.archive);
  cat_command->add_option("NAME", cat.names,
                          "Stored names or patterns (as for list); a pattern's entries come "
                          "in listing order")
      ->required();

  TestOptions& test = invocation.test;
  CLI::App* test_command = AddCommand(
      app, "test",
      "Read every entry, or those the patterns choose, decoding the compressed ones; report "
      "the corrupt ones");
  AddArchive(test_command, test.archive);
  AddChoice(test_command, test.choice);
  test_command->add_flag("--json", test.json,
                         "One JSON object: \"schema_version\", \"archive\", \"entries\" (name, "
                         "compressed, ok, error), the counts, \"complete\" (and \"error\" if it cannot "
                         "be opened)");

  InfoOptions& info = invocation.info;
  CLI::App* info_command =
      AddCommand(app, "info", "Show the flavour, the header's fields and the totals");
  AddArchive(info_command, info.archive);
  info_command->add_flag("--json", info.json,
                         "One JSON object: \"schema_version\", \"archive\", \"flavour\", "
                         "\"header\", \"entries\", \"compressed\", \"packed\", \"unpacked\" and "
                         "\"complete\" (and \"error\" if it cannot be opened)");
  info_command->add_flag("-H,--human", info.human, "Sizes in B, KiB, MiB and GiB");

  PackOptions& pack = invocation.pack;
  std::string prefix;
  CLI::App* pack_command = AddCommand(
      app, "pack", "Create an archive from files and folders (folders are packed with what they hold)");
  AddArchive(pack_command, pack.archive, "The archive to create (replaced if it exists)");
  pack_command->add_option("PATH", pack.paths,
                           "Files and folders to pack, relative to DIR, inside DIR")
      ->required();
  pack_command->add_option("-C,--directory", pack.folder,
                           "Store names relative to DIR (default: the current folder)")
      ->type_name("DIR")
      ->check(kNotEmpty);
  CLI::Option* prefix_option = pack_command->add_option(
      "--prefix", prefix, "Store every name under the folder SUBPATH inside the archive");
  prefix_option->type_name("SUBPATH");
  pack_command->add_flag("--overwrite", pack.overwrite,
                         "Replace ARCHIVE even if it exists and is not a KZR archive");

  // add fills the same options as pack; only one of the two is ever parsed.
  CLI::App* add_command = AddCommand(
      app, "add", "Add files and folders to an archive, replacing entries of the same name "
                  "(the archive is made if it does not exist)");
  AddArchive(add_command, pack.archive);
  add_command->add_option("PATH", pack.paths, "Files and folders to add, relative to DIR")
      ->required();
  add_command->add_option("-C,--directory", pack.folder,
                          "Store names relative to DIR (default: the current folder)")
      ->type_name("DIR")
      ->check(kNotEmpty);
  CLI::Option* add_prefix_option = add_command->add_option(
      "--prefix", prefix, "Store every name under the folder SUBPATH inside the archive");
  add_prefix_option->type_name("SUBPATH");

  DeleteOptions& remove = invocation.remove;
  CLI::App* delete_command =
      AddCommand(app, "delete", "Delete the entries the patterns choose from an archive");
  AddArchive(delete_command, remove.archive);
  AddChoice(delete_command, remove.choice, "Stored names to delete (as for list)");
  delete_command->get_option("PATTERN")->required();

  std::string help_topic;
  CLI::App* help_command = AddCommand(app, "help", "Show the help of kzr, or of one command");
  help_command->add_option("COMMAND", help_topic, "The command (or alias) to explain");

  StripGuards(app);
  std::vector<std::string> words(argv, argv + argc);
  std::vector<char*> guarded;
  for (std::string& argument : words) {
    if (NeedsGuard(argument)) argument.insert(0, 1, kGuard);
    guarded.push_back(argument.data());
  }
  try {
    app.parse(argc, guarded.data());
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? kExitOk : kExitUsage;
  }

  if (help_command->parsed()) {
    // What --help shows (App::help would show the help command's own).
    const CLI::App* topic = &app;
    std::string name = "kzr";
    if (!help_topic.empty()) {
      if (!IsKnown(help_topic)) return UnknownCommand(help_topic);
      topic = app.get_subcommand(help_topic);
      name += " " + topic->get_name();
    }
    std::fputs(topic->get_formatter()->make_help(topic, name, CLI::AppFormatMode::Normal).c_str(),
               stdout);
    return kExitOk;
  }
  if (pack_command->parsed() && prefix_option->count() != 0) pack.prefix = prefix;
  if (add_command->parsed() && add_prefix_option->count() != 0) pack.prefix = prefix;
  pack.add = add_command->parsed();

  const std::pair<CLI::App*, Command> dispatch[] = {
      {list_command, Command::kList},     {extract_command, Command::kExtract},
      {cat_command, Command::kCat},       {test_command, Command::kTest},
      {info_command, Command::kInfo},     {pack_command, Command::kPack},
      {add_command, Command::kAdd},       {delete_command, Command::kDelete},
  };
  for (const auto& [command, which] : dispatch) {
    if (command->parsed()) invocation.command = which;
  }
  return -1;
}

}  // namespace kzr::cli
