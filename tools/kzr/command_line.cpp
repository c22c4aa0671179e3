#include "command_line.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <thread>
#include <vector>

#include "command_suggestion.h"
#include "messages.h"
#include "platform/files.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

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
      {"diff", {}},          {"mount", {}},          {"unmount", {"umount"}},
      {"help", {}},
  };
  return names;
}

std::vector<std::string> KnownNames() {
  std::vector<std::string> known;
  for (const CommandName& command : CommandNames()) known.emplace_back(command.name);
  for (const CommandName& command : CommandNames()) {
    for (const char* alias : command.aliases) known.emplace_back(alias);
  }
  return known;
}

bool IsKnown(const std::string& word) {
  const std::vector<std::string> known = KnownNames();
  return std::find(known.begin(), known.end(), word) != known.end();
}

// "kzr: no command 'lst'; did you mean 'list'? (kzr --help lists them)"; a
// command given after its archive ("kzr game.kzr list") is set right.
int UnknownCommand(const std::string& word, int argc = 0, char** argv = nullptr) {
  std::string message = "kzr: no command '" + word + "'";
  for (int i = 1; i < argc; ++i) {
    if (IsKnown(argv[i])) {
      std::fprintf(stderr, "%s; did you mean 'kzr %s %s'?\n", message.c_str(), argv[i],
                   word.c_str());
      return kExitUsage;
    }
  }
  if (const std::optional<std::string> nearest = NearestName(word, KnownNames())) {
    message += "; did you mean '" + *nearest + "'?";
  }
  std::fprintf(stderr, "%s (kzr --help lists the commands)\n", message.c_str());
  return kExitUsage;
}

// A usage error in kzr's words: an unknown option with the nearest known
// one, anything else as the parser says it; and where help is to be had.
int UsageError(const CLI::App& app, int argc, char** argv, const CLI::ParseError& error) {
  const CLI::App* command = &app;
  for (const CLI::App* parsed : app.get_subcommands()) command = parsed;
  const std::string help =
      command == &app ? "kzr --help" : "kzr " + command->get_name() + " --help";
  std::vector<std::string> known;
  for (const CLI::App* scope : {&app, command}) {
    for (const CLI::Option* option : scope->get_options()) {
      for (const std::string& name : option->get_lnames()) known.push_back("--" + name);
      for (const std::string& name : option->get_snames()) known.push_back("-" + name);
    }
  }
  for (int i = 1; i < argc; ++i) {
    std::string typed = argv[i];
    typed = typed.substr(0, typed.find('='));
    if (typed.size() < 2 || typed[0] != '-' || typed == "--") continue;
    if (std::find(known.begin(), known.end(), typed) != known.end()) continue;
    if (typed[1] != '-' && typed.size() > 2) continue;  // grouped short flags
    std::string message = "kzr: no option '" + typed + "'";
    if (const std::optional<std::string> nearest = NearestName(typed, known)) {
      message += "; did you mean '" + *nearest + "'?";
    }
    std::fprintf(stderr, "%s (%s lists the options)\n", message.c_str(), help.c_str());
    return kExitUsage;
  }
  std::string what = error.what();
  while (!what.empty() && (what.back() == '\n' || what.back() == '.')) what.pop_back();
  std::fprintf(stderr, "kzr: %s (%s tells more)\n", what.c_str(), help.c_str());
  return kExitUsage;
}

// Appends the words of a list file to `words`; false with a message when
// it cannot be read.
bool ReadWordList(const WordList& list, std::vector<std::string>& words) {
  if (list.file.empty()) return true;
  std::string text;
  if (list.file == "-") {
#if defined(_WIN32)
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    char chunk[65536];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, stdin)) != 0;) {
      text.append(chunk, got);
    }
  } else {
    InputFile file;
    Status status = file.Open(list.file);
    if (status.ok()) {
      text.resize(static_cast<std::size_t>(file.length()));
      status = file.ReadAt(0, text.data(), text.size());
    }
    if (!status.ok()) {
      std::fprintf(stderr, "kzr: %s\n", Explain(status, list.file).c_str());
      return false;
    }
  }
  const char end = list.null ? '\0' : '\n';
  for (std::size_t start = 0; start < text.size();) {
    std::size_t stop = text.find(end, start);
    if (stop == std::string::npos) stop = text.size();
    std::string word = text.substr(start, stop - start);
    if (!list.null && !word.empty() && word.back() == '\r') word.pop_back();
    if (!word.empty()) words.push_back(std::move(word));
    start = stop + 1;
  }
  return true;
}

void AddWordList(CLI::App* command, WordList& list, const char* what) {
  command->add_option("-T,--files-from", list.file,
                      std::string("Read ") + what + " from FILE, one a line (- for standard input)")
      ->type_name("FILE");
  command->add_flag("--null", list.null, "The words of -T FILE end with NUL bytes, not lines");
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

constexpr const char* kReadArchive = "The archive (- for standard input)";

void AddArchive(CLI::App* command, std::string& archive, const char* description = "The archive") {
  command->add_option("ARCHIVE", archive, description)->required();
}

void AddExcludes(CLI::App* command, std::vector<std::string>& excludes, const char* help) {
  command->add_option("--exclude", excludes, help)
      ->type_name("PATTERN")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

void AddChoice(CLI::App* command, Choice& choice, WordList& list,
               const char* help = kPatternHelp) {
  command->add_option("PATTERN", choice.patterns, help);
  AddWordList(command, list, "more patterns");
  AddExcludes(command, choice.excludes,
              "Leave out the entries PATTERN chooses (as for PATTERN; may be repeated)");
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
  if (word && !IsKnown(*word)) return UnknownCommand(*word, argc, argv);
  if (!word) {
    bool asks = false;
    for (int i = 1; i < argc; ++i) {
      const std::string_view argument = argv[i];
      asks = asks || argument == "-h" || argument == "--help" || argument == "-V" ||
             argument == "--version";
    }
    if (!asks) {
      std::fprintf(stderr,
                   "kzr: a command is required: list, extract, cat, test, info, pack, add, "
                   "delete, diff, mount or unmount (kzr --help tells more)\n");
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

  WordList word_list;  // only one command is ever parsed
  ListOptions& list = invocation.list;
  CLI::App* list_command = AddCommand(app, "list", "List the entries of an archive");
  AddArchive(list_command, list.archive, kReadArchive);
  AddChoice(list_command, list.choice, word_list);
  list_command->add_flag("--json", list.json,
                         "One JSON object: \"schema_version\", \"archive\", \"entries\" (name "
                         "as text with / between folders, stored: the name's bytes in hex, "
                         "packed, unpacked, compressed), \"complete\" (and \"error\" if it cannot "
                         "be opened)");
  list_command->add_flag("-H,--human", list.human, "Sizes in B, KiB, MiB and GiB");
  list_command->add_flag("-1,--names-only", list.names_only,
                         "Only the names, one a line, as PATTERN takes them (for scripts)");

  ExtractOptions& extract = invocation.extract;
  CLI::App* extract_command =
      AddCommand(app, "extract", "Extract every entry, or those the patterns choose");
  AddArchive(extract_command, extract.archive, kReadArchive);
  AddChoice(extract_command, extract.choice, word_list);
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
  AddArchive(cat_command, cat.archive, kReadArchive);
  cat_command->add_option("NAME", cat.names,
                          "Stored names or patterns (as for list); a pattern's entries come "
                          "in listing order")
      ->required();

  TestOptions& test = invocation.test;
  CLI::App* test_command = AddCommand(
      app, "test",
      "Read every entry, or those the patterns choose, decoding the compressed ones; report "
      "the corrupt ones");
  AddArchive(test_command, test.archive, kReadArchive);
  AddChoice(test_command, test.choice, word_list);
  test_command->add_flag("--json", test.json,
                         "One JSON object: \"schema_version\", \"archive\", \"entries\" (name, "
                         "compressed, ok, error), the counts, \"complete\" (and \"error\" if it cannot "
                         "be opened)");

  InfoOptions& info = invocation.info;
  CLI::App* info_command =
      AddCommand(app, "info", "Show the flavour, the header's fields and the totals");
  AddArchive(info_command, info.archive, kReadArchive);
  info_command->add_flag("--json", info.json,
                         "One JSON object: \"schema_version\", \"archive\", \"flavour\", "
                         "\"header\", \"entries\", \"compressed\", \"packed\", \"unpacked\" and "
                         "\"complete\" (and \"error\" if it cannot be opened)");
  info_command->add_flag("-H,--human", info.human, "Sizes in B, KiB, MiB and GiB");

  PackOptions& pack = invocation.pack;
  std::string prefix;
  CLI::App* pack_command = AddCommand(
      app, "pack", "Create an archive from files and folders (folders are packed with what they hold)");
  AddArchive(pack_command, pack.archive,
             "The archive to create (- for standard output; an existing file is kept unless "
             "--overwrite)");
  // add fills the same options as pack; only one of the two is ever parsed.
  CLI::App* add_command = AddCommand(
      app, "add", "Add files and folders to an archive, replacing entries of the same name "
                  "(the archive is made if it does not exist)");
  AddArchive(add_command, pack.archive);
  for (CLI::App* command : {pack_command, add_command}) {
    command->add_option("PATH", pack.paths,
                        command == pack_command
                            ? "Files and folders to pack, relative to DIR, inside DIR"
                            : "Files and folders to add, relative to DIR");
    AddWordList(command, word_list, "more paths");
    AddExcludes(command, pack.excludes,
                "Leave out the files whose stored names PATTERN chooses (as for list; may be "
                "repeated)");
    command->add_option("-C,--directory", pack.folder,
                        "Store names relative to DIR (default: the current folder)")
        ->type_name("DIR")
        ->check(kNotEmpty);
    command->add_option("--prefix", prefix,
                        "Store every name under the folder SUBPATH inside the archive")
        ->type_name("SUBPATH");
  }
  pack_command->add_flag("--overwrite", pack.overwrite, "Replace ARCHIVE if it exists");

  DeleteOptions& remove = invocation.remove;
  CLI::App* delete_command =
      AddCommand(app, "delete", "Delete the entries the patterns choose from an archive");
  AddArchive(delete_command, remove.archive);
  AddChoice(delete_command, remove.choice, word_list, "Stored names to delete (as for list)");

  DiffOptions& diff = invocation.diff;
  CLI::App* diff_command = AddCommand(
      app, "diff",
      "Compare two archives' entries by their decoded bytes (with -v also how they are stored); "
      "exit status 0 when alike, 1 when different, 2 on trouble");
  diff_command->add_option("ARCHIVE", diff.archive, "The first archive")->required();
  diff_command->add_option("OTHER", diff.other, "The archive to compare it with")->required();
  diff_command->add_flag("--json", diff.json,
                         "One JSON object: \"schema_version\", \"archive\", \"other\", "
                         "\"entries\" (name, change: removed, added, changed, unreadable or, "
                         "with -v, stored_differently; in_archive, in_other), \"alike\", "
                         "\"different\", \"complete\" (and \"error\" if one cannot be opened)");

  MountOptions& mount = invocation.mount;
  CLI::App* mount_command = AddCommand(
      app, "mount",
      "Show an archive as a read-only folder tree at DIR (Linux), until kzr unmount DIR");
  AddArchive(mount_command, mount.archive);
  mount_command->add_option("DIR", mount.folder, "The folder to show it in")
      ->required()
      ->check(kNotEmpty);
  mount_command->add_flag("-f,--foreground", mount.foreground,
                          "Stay in the foreground until it is unmounted (or interrupted)");
  mount_command->add_option("--cache", mount.cache_mib,
                            "Decoded bytes kept for each open compressed file, in MiB "
                            "(default 4); reads that go back further decode it again")
      ->type_name("MIB")
      ->check(CLI::Range(std::size_t{1}, std::size_t{1024}));

  UnmountOptions& unmount = invocation.unmount;
  CLI::App* unmount_command =
      AddCommand(app, "unmount", "End the mount of an archive at DIR (kzr mount)");
  unmount_command->add_option("DIR", unmount.folder, "The folder it is shown in")
      ->required()
      ->check(kNotEmpty);
  unmount_command->add_flag("-z,--lazy", unmount.lazy,
                            "Detach it now even when it is in use; it ends when the last file "
                            "in it is closed");

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
    if (error.get_exit_code() == 0) return app.exit(error);  // help, version
    return UsageError(app, argc, argv, error);
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
  // The words of a list file join those of the command line.
  std::vector<std::string>* const listed =
      pack_command->parsed() || add_command->parsed() ? &pack.paths
      : list_command->parsed()                         ? &list.choice.patterns
      : extract_command->parsed()                      ? &extract.choice.patterns
      : test_command->parsed()                         ? &test.choice.patterns
                                                       : &remove.choice.patterns;
  if (!ReadWordList(word_list, *listed)) return kExitFailure;
  for (CLI::App* command : {pack_command, add_command, delete_command}) {
    if (command->parsed() && listed->empty()) {
      std::fprintf(stderr, "kzr: %s: %s (kzr %s --help tells more)\n",
                   command->get_name().c_str(),
                   command == delete_command ? "name the entries to delete"
                                             : "name the files and folders to store",
                   command->get_name().c_str());
      return kExitUsage;
    }
  }
  if (pack_command->count("--prefix") + add_command->count("--prefix") != 0) pack.prefix = prefix;
  pack.add = add_command->parsed();

  Invocation& i = invocation;  // outlives the call, as the caller runs it
  const std::pair<CLI::App*, std::function<int(const Context&)>> dispatch[] = {
      {list_command, [&i](const Context& c) { return RunList(c, i.list); }},
      {extract_command, [&i](const Context& c) { return RunExtract(c, i.extract); }},
      {cat_command, [&i](const Context& c) { return RunCat(c, i.cat); }},
      {test_command, [&i](const Context& c) { return RunTest(c, i.test); }},
      {info_command, [&i](const Context& c) { return RunInfo(c, i.info); }},
      {pack_command, [&i](const Context& c) { return RunPack(c, i.pack); }},
      {add_command, [&i](const Context& c) { return RunPack(c, i.pack); }},
      {delete_command, [&i](const Context& c) { return RunDelete(c, i.remove); }},
      {diff_command, [&i](const Context& c) { return RunDiff(c, i.diff); }},
      {mount_command, [&i](const Context& c) { return RunMount(c, i.mount); }},
      {unmount_command, [&i](const Context& c) { return RunUnmount(c, i.unmount); }},
  };
  for (const auto& [command, run] : dispatch) {
    if (command->parsed()) invocation.run = run;
  }
  return -1;
}

}  // namespace kzr::cli
