// kzr extract: every entry, or those the patterns select, into a folder,
// safely (archive/extraction.h): names stay inside the folder, no link is
// followed, existing files are kept unless --overwrite replaces them, and
// the archive being read is never written over. Entries that go to one file
// are one item of work, done in listing order by one job, so the file ends
// as a single job would leave it, however many jobs run.
#include <memory>
#include <unordered_map>
#include <vector>

#include "archive/entry_names.h"
#include "archive/extraction.h"
#include "archive_view.h"
#include "commands.h"
#include "entry_selection.h"
#include "messages.h"
#include "parallel.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "progress.h"
#include "quantities.h"

namespace kzr::cli {
namespace {

struct Outcome {
  bool failed = false;
  bool kept = false;
  bool written = false;
  std::string error;
  std::string warning;
  std::string line;  // verbose
};

}  // namespace

int RunExtract(const Context& context, const ExtractOptions& options) {
  const Console& console = context.console;
  const std::string& path = options.archive;
  if (const FileKind kind = KindOf(options.folder, true);
      kind != FileKind::kMissing && kind != FileKind::kFolder) {
    console.Error(options.folder + ": not a folder");
    return kExitFailure;
  }
  ArchiveView archive;
  if (!archive.Open(context, path)) return kExitFailure;
  DestinationTree tree;
  if (Status status = tree.Open(options.folder); !status.ok()) {
    console.Error(Explain(status, options.folder));
    return kExitFailure;
  }

  // The chosen entries, grouped by the file they go to.
  EntrySelection selection(options.choice.patterns, options.choice.excludes);
  std::vector<const Entry*> chosen;
  std::vector<std::vector<std::size_t>> groups;
  std::unordered_map<std::string, std::size_t> group_of;
  std::uint64_t bytes = 0;
  for (const Entry& entry : archive.entries()) {
    if (!selection.Selects(entry.name)) continue;
    const auto [found, added] = group_of.emplace(PathKey(ExactKey(entry.name)), groups.size());
    if (added) groups.emplace_back();
    groups[found->second].push_back(chosen.size());
    chosen.push_back(&entry);
    bytes += entry.view.UncompressedSize();
  }

  ProgressBar bar("extracting", console.quiet(), chosen.size(), bytes);
  const unsigned jobs = std::max(1u, context.jobs);
  std::vector<std::unique_ptr<ProgressBar::Job>> progress;
  std::vector<MemberBuffers> buffers(jobs);
  for (unsigned job = 0; job < jobs; ++job) progress.push_back(std::make_unique<ProgressBar::Job>(bar));
  std::vector<Outcome> outcomes(chosen.size());

  const auto extract = [&](std::size_t index, unsigned job) {
    const Entry& entry = *chosen[index];
    Outcome& outcome = outcomes[index];
    const std::string where = path + ": " + Printable(Shown(entry.name)) + ": ";
    if (const std::optional<std::string> problem = ProblemWithName(entry.name)) {
      outcome.failed = true;
      outcome.error = where + "refused: " + *problem;
      return;
    }
    progress[job]->Begin(Shown(entry.name), entry.view.UncompressedSize());
    DestinationTree::Result result;
    std::string target;
    const Status status = tree.Extract(archive.reader(), entry.view, entry.name, buffers[job],
                                       options.overwrite, progress[job].get(), result, target);
    progress[job]->Finish(entry.view.UncompressedSize());
    if (!status.ok()) {
      outcome.failed = true;
      outcome.error = where + Describe(status);
      if (status == Status::kCannotCreate || status == Status::kWriteFailed ||
          status == Status::kExists || status == Status::kIsTheArchive) {
        outcome.error = where + Explain(status, target);
        if (status == Status::kWriteFailed) outcome.error += " (any file that stood there is kept)";
      }
      return;
    }
    if (result == DestinationTree::Result::kKept) {
      outcome.kept = true;
      return;
    }
    outcome.written = true;
    if (console.verbose()) outcome.line = Printable(target);
    if (entry.name.find(kUnconvertedMark) != std::string::npos) {
      outcome.warning = where + "the stored name has bytes that are no characters in the " +
                        "names' code page (" + archive.names().name() + "); extracted as " +
                        Printable(target) + ", each such byte as U+FFFD and its hexadecimal digits";
    }
  };

  std::size_t failed = 0, kept = 0, written = 0;
  const auto report = [&](std::size_t index) {
    const Outcome& outcome = outcomes[index];
    if (!outcome.error.empty()) console.Error(outcome.error);
    if (!outcome.warning.empty()) console.Warning(outcome.warning);
    if (!outcome.line.empty()) console.Out(outcome.line + "\n");
    failed += outcome.failed ? 1 : 0;
    kept += outcome.kept ? 1 : 0;
    written += outcome.written ? 1 : 0;
  };
  RunInOrder(
      jobs, groups.size(),
      [&](std::size_t group, unsigned job) {
        for (const std::size_t index : groups[group]) extract(index, job);
      },
      [&](std::size_t group) {
        for (const std::size_t index : groups[group]) report(index);
      });
  bar.Clear();

  bool complete = true;
  if (archive.damaged()) {
    console.Error(DamageMessage(path, archive.entries().size()));
    complete = false;
  }
  complete = selection.ReportUnmatched(console, path) && complete;
  if (kept != 0 && !options.skip_existing) {
    console.Error(path + ": " + std::to_string(kept) +
                  (kept == 1 ? " file exists and was" : " files exist and were") +
                  " kept (--overwrite replaces them, -k skips them quietly)");
  }
  std::string summary = "extracted " + std::to_string(written) + " of " +
                        Plural(chosen.size(), "entry", "entries") + " to " + options.folder;
  if (failed != 0) summary += " (" + std::to_string(failed) + " not extracted)";
  console.Note(summary);
  const bool all_done = failed == 0 && (kept == 0 || options.skip_existing);
  return complete && all_done ? kExitOk : kExitFailure;
}

}  // namespace kzr::cli
