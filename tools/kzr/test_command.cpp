// kzr test: every entry decoded by ProcessFile's test operation, which reads
// and decodes it without writing anything.
#include "commands.h"
#include "entry_walk.h"
#include "progress.h"
#include "result_codes.h"

namespace kzr::cli {

int RunTest(const Context& context, const std::string& archive) {
  const Console& console = context.console;
  Progress progress("testing", console.quiet());
  if (progress.wanted()) progress.SetTotals(ListingTotals(context.api, archive, {}));

  std::size_t bad = 0;
  const EntryHandler test = [&](std::size_t, const ListedEntry& entry, ArchiveSession& session) {
    EntryOutcome outcome;
    const int code = session.Test();
    if (code != host::kOk) {
      outcome.failed = true;
      outcome.errors.push_back(archive + ": " + Printable(entry.name) + ": " + DescribeResult(code));
    } else if (console.verbose()) {
      outcome.line = Printable(entry.name);
    }
    return outcome;
  };
  const OutcomeSink report = [&](std::size_t, EntryOutcome& outcome) {
    for (const std::string& error : outcome.errors) console.Error(error);
    if (!outcome.line.empty()) console.Out(outcome.line + "\n");
    if (outcome.failed) ++bad;
    progress.FinishEntry();
  };
  const WalkEnd end = WalkEntries(context, archive, &Progress::DataProc, test, report);
  progress.Clear();
  if (end.open_code != 0) {
    console.Error(archive + ": " + DescribeResult(end.open_code));
    return kExitFailure;
  }

  const bool complete = end.end_code == host::kEndArchive;
  if (!complete) console.Error(DescribeListingEnd(archive, end.entries, end.end_code));
  if (bad == 0) {
    console.Note(archive + ": " + std::to_string(end.entries) + " entries tested, all good" +
                 (complete ? "" : " (but the directory is damaged)"));
  } else {
    console.Note(archive + ": " + std::to_string(end.entries) + " entries tested, " +
                 std::to_string(bad) + " failed");
  }
  return complete && bad == 0 ? kExitOk : kExitFailure;
}

}  // namespace kzr::cli
