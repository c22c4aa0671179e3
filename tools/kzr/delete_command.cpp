// kzr delete: removes the entries the patterns select, with one DeleteFiles
// call, which writes the archive anew beside the old one and renames it into
// place.
#include <algorithm>
#include <optional>
#include <string_view>

#include "archive_session.h"
#include "commands.h"
#include "entry_selection.h"
#include "interruption.h"
#include "native_fs.h"
#include "quantities.h"
#include "result_codes.h"

namespace kzr::cli {
namespace {

// A name as the plugin matches it: letters in any case, either separator.
std::string MatchKey(std::string name) {
  for (char& c : name) {
    if (c == '/') c = '\\';
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return name;
}

// The plugin reads a name that ends in "\*.*" (or "/*.*") in its list as the
// whole folder before it. The key of that folder, for an entry so named.
std::optional<std::string> WholeFolderAsked(const std::string& name) {
  constexpr std::string_view kEverything = "*.*";
  if (name.size() <= kEverything.size() || !name.ends_with(kEverything)) return std::nullopt;
  const char before = name[name.size() - kEverything.size() - 1];
  if (before != '\\' && before != '/') return std::nullopt;
  return MatchKey(name.substr(0, name.size() - kEverything.size()));
}

}  // namespace

int RunDelete(const Context& context, const DeleteOptions& options) {
  const Console& console = context.console;
  if (context.api.DeleteFiles == nullptr) {
    console.Error("the plugin cannot delete entries (it has no DeleteFiles)");
    return kExitFailure;
  }
  EntrySelection selection(options.choice.patterns, options.choice.excludes);
  std::string delete_list;
  std::vector<std::string> chosen;
  std::vector<std::string> kept;  // the keys of the entries not chosen
  {
    OpenFailure failure;
    std::unique_ptr<ArchiveSession> session =
        ArchiveSession::Open(context.api, options.archive, failure);
    if (!session) {
      console.Error(DescribeOpenFailure(options.archive, failure, context.linked()));
      return kExitFailure;
    }
    ListedEntry entry;
    std::size_t count = 0;
    int code;
    while ((code = session->Next(entry)) == host::kOk) {
      ++count;
      if (!selection.Selects(entry.name)) {
        kept.push_back(MatchKey(entry.name));
        continue;
      }
      delete_list += entry.name;
      delete_list += '\0';
      chosen.push_back(entry.name);
    }
    if (code != host::kEndArchive) {
      console.Error(DescribeListingEnd(options.archive, count, code) + "; nothing deleted");
      return kExitFailure;
    }
  }
  delete_list += '\0';
  for (const std::string& name : chosen) {
    const std::optional<std::string> folder = WholeFolderAsked(name);
    if (folder && std::any_of(kept.begin(), kept.end(), [&](const std::string& key) {
          return key.starts_with(*folder);
        })) {
      console.Error(options.archive + ": " + Printable(name) +
                    " cannot be deleted alone: the plugin takes such a name for the whole "
                    "folder, and other entries are in it; nothing deleted");
      return kExitFailure;
    }
  }
  bool complete = true;
  for (const std::string& pattern : selection.Unmatched()) {
    console.Error(options.archive + ": no entry matches " + pattern);
    complete = false;
  }
  if (!chosen.empty()) {
    const WritingIn writing(FolderOf(FileBehindLink(options.archive)));  // where the plugin writes
    std::string archive = options.archive;
    ClearSystemReason();
    const int code = context.api.DeleteFiles(archive.data(), delete_list.data());
    if (code != host::kOk) {
      const std::string reason = SystemReason();
      console.Error(options.archive + ": " + DescribeResult(code) +
                    (reason.empty() ? "" : ": " + reason) + "; the archive is kept as it was");
      return kExitFailure;
    }
  }
  if (console.verbose()) {
    for (const std::string& name : chosen) console.Out(Printable(name) + "\n");
  }
  console.Note("deleted " + Plural(chosen.size(), "entry", "entries") + " from " + options.archive);
  return complete ? kExitOk : kExitFailure;
}

}  // namespace kzr::cli
