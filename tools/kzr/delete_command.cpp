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
#include "plugin/host_names.h"
#include "plugin/platform_files.h"
#include "quantities.h"
#include "result_codes.h"

namespace kzr::cli {

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
        kept.push_back(host::MemberKey(entry.name));
        continue;
      }
      // A name that may have been cut is left to the plugin, which refuses
      // one that was.
      if (entry.name_cut_for_sure) {
        console.Error(options.archive + ": " + Printable(entry.name) + ": " +
                      CutNameProblem(entry) + ", which does not tell the entry; nothing deleted");
        return kExitFailure;
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
  // The plugin's list takes an entry named "FOLDER\*.*" for the whole folder.
  for (const std::string& name : chosen) {
    const std::optional<std::string_view> folder = host::WholeFolderItem(name);
    if (folder && std::any_of(kept.begin(), kept.end(), [&](const std::string& key) {
          return key.starts_with(host::MemberKey(*folder));
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
    const WritingIn writing(FolderOf(FileBehindLinks(options.archive.c_str())));
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
