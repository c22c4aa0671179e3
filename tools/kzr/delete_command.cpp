// kzr delete: removes the entries the patterns select (archive_editor.h:
// under the archive's lock, a new archive beside it, renamed into place).
#include "archive/archive_editor.h"
#include "archive_view.h"
#include "commands.h"
#include "entry_selection.h"
#include "messages.h"
#include "progress.h"
#include "quantities.h"

namespace kzr::cli {

int RunDelete(const Context& context, const DeleteOptions& options) {
  const Console& console = context.console;
  const std::string& path = options.archive;
  EntrySelection selection(options.choice.patterns, options.choice.excludes);
  DeleteRequest request;
  request.archive = path;
  std::vector<std::string> chosen;
  std::unique_ptr<CodePage> names;
  {
    ArchiveView archive;
    if (!archive.Open(context, path)) return kExitFailure;
    if (archive.damaged()) {
      console.Error(DamageMessage(path, archive.entries().size()) + "; nothing deleted");
      return kExitFailure;
    }
    for (const Entry& entry : archive.entries()) {
      if (selection.Selects(entry.name)) chosen.push_back(entry.name);
    }
    names = context.OpenNames();
    if (!names) return kExitFailure;
  }
  bool complete = true;
  for (const std::string& pattern : selection.Unmatched()) {
    console.Error(path + ": no entry matches " + pattern);
    complete = false;
  }
  request.names = chosen;
  EditCounts counts;
  if (!chosen.empty()) {
    if (Status status = DeleteEntries(request, *names, nullptr, &counts); !status.ok()) {
      console.Error(Explain(status, path) + "; the archive is kept as it was");
      return kExitFailure;
    }
  }
  if (console.verbose()) {
    for (const std::string& name : chosen) console.Out(Printable(Shown(name)) + "\n");
  }
  console.Note("deleted " + Plural(counts.deleted, "entry", "entries") + " from " + path);
  return complete ? kExitOk : kExitFailure;
}

}  // namespace kzr::cli
