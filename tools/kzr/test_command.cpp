// kzr test: every chosen entry read to its end and decoded, nothing written.
// The format keeps no checksum, so a compressed entry is checked as far as
// its stream decodes, and a stored one only as far as its bytes can be read:
// the summary says which was which.
#include <memory>
#include <vector>

#include "archive/extraction.h"
#include "archive_view.h"
#include "commands.h"
#include "entry_selection.h"
#include "json_output.h"
#include "messages.h"
#include "parallel.h"
#include "progress.h"
#include "quantities.h"

namespace kzr::cli {

int RunTest(const Context& context, const TestOptions& options) {
  const Console& console = context.console;
  const std::string& path = options.archive;
  ArchiveView archive;
  if (!archive.Open(context, path)) {
    if (options.json) console.Out(Unopened(JsonObject::Document(path), archive.error()));
    return kExitFailure;
  }
  EntrySelection selection(options.choice.patterns, options.choice.excludes);
  std::vector<const Entry*> chosen;
  std::uint64_t bytes = 0;
  for (const Entry& entry : archive.entries()) {
    if (!selection.Selects(entry.name)) continue;
    chosen.push_back(&entry);
    bytes += entry.view.UncompressedSize();
  }

  ProgressBar bar("testing", console.quiet(), chosen.size(), bytes);
  const unsigned jobs = std::max(1u, context.jobs);
  std::vector<std::unique_ptr<ProgressBar::Job>> progress;
  std::vector<MemberBuffers> buffers(jobs);
  for (unsigned job = 0; job < jobs; ++job) progress.push_back(std::make_unique<ProgressBar::Job>(bar));
  std::vector<Status> results(chosen.size());

  std::size_t failed = 0, compressed = 0, stored = 0;
  bool any_record = false;
  if (options.json) console.Out(JsonObject::Document(path).Open() + ",\n \"entries\": [");
  RunInOrder(
      jobs, chosen.size(),
      [&](std::size_t index, unsigned job) {
        const Entry& entry = *chosen[index];
        progress[job]->Begin(Shown(entry.name), entry.view.UncompressedSize());
        results[index] = VerifyMember(archive.reader(), entry.view, buffers[job], progress[job].get());
        progress[job]->Finish(entry.view.UncompressedSize());
      },
      [&](std::size_t index) {
        const Entry& entry = *chosen[index];
        const Status& status = results[index];
        JsonObject record;
        record.Text("name", JsonName(entry.name)).Bool("compressed", entry.view.IsCompressed())
            .Bool("ok", status.ok());
        if (!status.ok()) {
          ++failed;
          console.Error(path + ": " + Printable(Shown(entry.name)) + ": " + Describe(status));
          record.Text("error", Describe(status));
        } else {
          ++(entry.view.IsCompressed() ? compressed : stored);
          if (console.verbose() && !options.json) console.Out(Printable(Shown(entry.name)) + "\n");
        }
        if (options.json) console.Out((any_record ? ",\n  " : "\n  ") + record.Closed());
        any_record = true;
      });
  bar.Clear();

  const bool complete = !archive.damaged();
  if (options.json) {
    JsonObject totals;
    totals.Number("tested", std::uint64_t{chosen.size()})
        .Number("failed", std::uint64_t{failed})
        .Number("compressed_decoded", std::uint64_t{compressed})
        .Number("stored_read", std::uint64_t{stored})
        .Bool("stored_data_checksummed", false)
        .Bool("complete", complete);
    // The totals' fields follow the entries in the same object.
    console.Out(std::string(any_record ? "\n " : "") + "], " + totals.Closed().substr(1) + "\n");
  } else {
    std::string text = Plural(chosen.size(), "entry", "entries") + ": " +
                       Plural(compressed, "compressed entry", "compressed entries") + " decoded, " +
                       Plural(stored, "stored entry", "stored entries") + " read";
    if (failed != 0) text += ", " + std::to_string(failed) + " failed";
    console.Note(path + ": " + text + " (stored data carries no checksum)" +
                 (complete ? "" : "; the directory is damaged past these"));
  }
  if (!complete) console.Error(DamageMessage(path, archive.entries().size()));
  const bool all_found = selection.ReportUnmatched(console, path);
  return complete && all_found && failed == 0 ? kExitOk : kExitFailure;
}

}  // namespace kzr::cli
