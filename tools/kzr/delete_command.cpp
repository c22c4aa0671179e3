// kzr delete: removes the entries the patterns select, chosen in the very
// archive that is changed (archive_editor.h: under the archive's lock, a new
// archive beside it, renamed into place).
#include <algorithm>

#include "archive/archive_editor.h"
#include "archive_view.h"
#include "commands.h"
#include "entry_selection.h"
#include "messages.h"
#include "quantities.h"

namespace kzr::cli {

int RunDelete(const Context& context, const DeleteOptions& options) {
  const Console& console = context.console;
  const std::string& path = options.archive;
  std::unique_ptr<CodePage> names = context.OpenNames();
  if (!names) return kExitFailure;
  EntrySelection selection(options.choice.patterns, options.choice.excludes);
  std::vector<std::string> chosen;
  DeleteRequest request;
  request.archive = path;
  request.choose = [&](std::string_view name) { return selection.Selects(name); };
  request.chosen = &chosen;
  HeaderFindings findings;
  request.findings = &findings;
  EditCounts counts;
  if (Status status = DeleteEntries(request, *names, nullptr, &counts); !status.ok()) {
    switch (status.code()) {
      case Status::kCannotOpen:
      case Status::kNotAnArchive: console.Error(OpenFailure(path, status, findings)); break;
      case Status::kDamagedArchive: console.Error(path + ": damaged directory; nothing deleted"); break;
      default: console.Error(Explain(status, path) + "; the archive is kept as it was");
    }
    return kExitFailure;
  }
  bool complete = selection.ReportUnmatched(console, path);
  if (console.verbose()) {
    // In listing order, the last record first.
    for (auto name = chosen.rbegin(); name != chosen.rend(); ++name) {
      console.Out(Printable(Shown(*name)) + "\n");
    }
  }
  console.Note("deleted " + Plural(counts.deleted, "entry", "entries") + " from " + path);
  return complete ? kExitOk : kExitFailure;
}

}  // namespace kzr::cli
