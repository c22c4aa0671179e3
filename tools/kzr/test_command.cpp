// kzr test: every chosen entry read by ProcessFile's test operation, which
// decodes it without writing anything. The format keeps no checksum, so a
// compressed entry is checked as far as its stream decodes, and a stored one
// only as far as its bytes can be read: the summary says which was which.
#include <atomic>

#include "commands.h"
#include "entry_selection.h"
#include "entry_walk.h"
#include "json_output.h"
#include "progress.h"
#include "quantities.h"
#include "result_codes.h"

namespace kzr::cli {
namespace {

struct Tally {
  std::size_t tested = 0;
  std::size_t failed = 0;
  // Of the entries that passed; known with the linked-in exports only.
  std::atomic<std::size_t> compressed{0};
  std::atomic<std::size_t> stored{0};
};

// "3 entries: 1 compressed entry decoded, 2 stored entries read (stored data
// carries no checksum)".
std::string Summary(const Tally& tally, bool linked) {
  std::string text = Plural(tally.tested, "entry", "entries") + ": ";
  std::string note = "stored data carries no checksum";
  if (linked) {
    text += Plural(tally.compressed, "compressed entry", "compressed entries") + " decoded, " +
            Plural(tally.stored, "stored entry", "stored entries") + " read";
  } else {
    text += std::to_string(tally.tested - tally.failed) + " read, the compressed among them decoded";
    note = "the plugin does not say which are compressed; " + note;
  }
  if (tally.failed != 0) text += ", " + std::to_string(tally.failed) + " failed";
  return text + " (" + note + ")";
}

}  // namespace

int RunTest(const Context& context, const TestOptions& options) {
  const Console& console = context.console;
  const std::string& archive = options.archive;
  EntrySelection selection(options.choice.patterns, options.choice.excludes);
  Progress progress("testing", console.quiet());
  if (progress.wanted()) progress.SetTotals(ListingTotals(context.api, archive, selection));

  Tally tally;
  const EntryHandler test = [&](std::size_t, const ListedEntry& entry, ArchiveSession& session) {
    EntryOutcome outcome;
    if (!selection.Selects(entry.name)) {
      session.Skip();
      return outcome;
    }
    const int code = session.Test();
    JsonObject record;
    record.Text("name", entry.name).Bool("compressed", entry.compressed).Bool("ok", code == host::kOk);
    if (code != host::kOk) {
      outcome.failed = true;
      outcome.errors.push_back(archive + ": " + Printable(entry.name) + ": " + DescribeResult(code));
      record.Text("error", DescribeResult(code));
    } else {
      if (entry.compressed) ++(*entry.compressed ? tally.compressed : tally.stored);
      if (console.verbose()) outcome.line = Printable(entry.name);
    }
    outcome.record = record.Closed();
    return outcome;
  };
  bool any_record = false;
  const OutcomeSink report = [&](std::size_t, EntryOutcome& outcome) {
    for (const std::string& error : outcome.errors) console.Error(error);
    if (!outcome.line.empty() && !options.json) console.Out(outcome.line + "\n");
    if (!outcome.record.empty()) {
      ++tally.tested;
      if (options.json) console.Out((any_record ? ",\n  " : "\n  ") + outcome.record);
      any_record = true;
    }
    if (outcome.failed) ++tally.failed;
    progress.FinishEntry();
  };
  if (options.json) console.Out(JsonObject::Document(archive).Open() + ",\n \"entries\": [");
  const WalkEnd end = WalkEntries(context, archive, &Progress::DataProc, test, report);
  progress.Clear();
  if (end.open.code != 0) {
    const std::string error = DescribeOpenFailure(archive, end.open, context.linked());
    if (options.json) console.Out("], \"complete\": false, \"error\": " + JsonString(error) + "}\n");
    console.Error(error);
    return kExitFailure;
  }

  const bool complete = end.end_code == host::kEndArchive;
  if (options.json) {
    const bool linked = context.linked();
    JsonObject totals;
    totals.Number("tested", std::uint64_t{tally.tested})
        .Number("failed", std::uint64_t{tally.failed})
        .Number("compressed_decoded",
                linked ? std::optional<std::uint64_t>(tally.compressed) : std::nullopt)
        .Number("stored_read", linked ? std::optional<std::uint64_t>(tally.stored) : std::nullopt)
        .Bool("stored_data_checksummed", false)
        .Bool("complete", complete);
    // The totals' fields follow the entries in the same object.
    console.Out(std::string(any_record ? "\n " : "") + "], " + totals.Closed().substr(1) +
                "\n");
  } else {
    console.Note(archive + ": " + Summary(tally, context.linked()) +
                 (complete ? "" : "; the directory is damaged past these"));
  }
  if (!complete) console.Error(DescribeListingEnd(archive, end.entries, end.end_code));
  bool all_found = true;
  for (const std::string& pattern : selection.Unmatched()) {
    console.Error(archive + ": no entry matches " + pattern);
    all_found = false;
  }
  return complete && all_found && tally.failed == 0 ? kExitOk : kExitFailure;
}

}  // namespace kzr::cli
