// kzr extract: every entry, or those the patterns select, into a folder,
// through ProcessFile, which writes each member beside its target and
// renames it into place when it is whole. Names that could lead outside the
// folder are refused, folders are reached without following links (see
// DestinationTree), existing files are kept unless --overwrite replaces them,
// and the archive being read is never written over.
#include <atomic>
#include <optional>

#include "commands.h"
#include "entry_walk.h"
#include "interruption.h"
#include "entry_selection.h"
#include "native_fs.h"
#include "plugin/name_converter.h"
#include "plugin/names_setting.h"
#include "progress.h"
#include "quantities.h"
#include "result_codes.h"
#include "safe_path.h"
#include "target_order.h"

namespace kzr::cli {
namespace {

#if !defined(_WIN32)
// How the plugin reports a stored byte that is no character of the names'
// code page: U+FFFD, then the byte in hexadecimal.
using host::kUnconvertedMark;
#endif

class Extraction {
 public:
  Extraction(const Context& context, const ExtractOptions& options)
      : context_(context), options_(options), tree_(options.folder),
        selection_(options.choice.patterns, options.choice.excludes) {}

  bool Prepare(std::string& reason) { return tree_.Prepare(reason); }

  // One entry, the current one of `session`, at `position` in the listing (on
  // a worker's thread).
  EntryOutcome Handle(std::size_t position, const ListedEntry& entry, ArchiveSession& session) {
    TargetOrder::Turn turn(order_, position);
    EntryOutcome outcome;
    if (!selection_.Selects(entry.name)) {
      session.Skip();
      return outcome;
    }
    ++selected_;
    std::string reason;
    const std::optional<StoredPath> path = SplitStoredName(entry.name, reason);
    if (!path) return Refuse(session, entry, "refused: " + reason);
    if (entry.name_cut) return Refuse(session, entry, "refused: " + CutNameProblem(entry));
    const std::optional<DestinationTree::Placement> place = tree_.Place(*path, reason);
    if (!place) return Refuse(session, entry, "refused: " + reason);

    const std::string target = place->shown + place->file;
    if (const std::optional<std::string> limit = PathLimitProblem(place->folder + place->file)) {
      return Refuse(session, entry, "refused: " + target + ": " + *limit);
    }
    // (The folder for the plugin may be a held handle's number, which
    // another placement of the same folder need not share.)
    turn.Take(target);
    switch (tree_.WhatIsAt(*place, reason)) {
      case DestinationTree::Existing::kNothing:
        break;
      case DestinationTree::Existing::kFile:
      case DestinationTree::Existing::kLink:
        if (IsArchiveItself(*place)) return Refuse(session, entry, "refused: " + target +
                                                                       " is the archive being read");
        if (options_.overwrite) break;  // replaced by a rename, never written through
        session.Skip();
        outcome.kept = true;
        return outcome;
      case DestinationTree::Existing::kOther:
        return Refuse(session, entry, target + " exists and is not a file");
      case DestinationTree::Existing::kUnknown:
        return Refuse(session, entry, "cannot extract to " + target + ": " + reason);
    }

    const WritingIn writing(place->folder);
    ClearSystemReason();
    const int code = session.Extract(place->folder, place->file);
    if (code == host::kOk) {
      if (context_.console.verbose()) outcome.line = Printable(target);
#if !defined(_WIN32)
      if (entry.name.find(kUnconvertedMark) != std::string::npos) {
        outcome.warnings.push_back(Where(entry) + "the stored name has bytes that are no " +
                                   "characters in the names' code page (" +
                                   host::ChosenNamesCodePage() + "); extracted as " +
                                   Printable(target) + ", each such byte as U+FFFD and its " +
                                   "hexadecimal digits");
      }
#endif
      ++extracted_;
      return outcome;
    }
    std::string cause = DescribeResult(code);
    const std::string reason_now = SystemReason();
    if (code == host::kCreateError || code == host::kWriteError || code == host::kSmallBuffer) {
      cause += ": " + target;
      if (!reason_now.empty()) cause += ": " + reason_now;
      if (code == host::kWriteError) cause += " (any file that stood there is kept)";
    }
    outcome.failed = true;
    outcome.errors.push_back(Where(entry) + cause);
    return outcome;
  }

  const Context& context_;
  const ExtractOptions& options_;

  std::atomic<std::size_t> selected_{0};
  std::atomic<std::size_t> extracted_{0};
  const EntrySelection& selection() const { return selection_; }
  TargetOrder& order() { return order_; }

 private:

  bool IsArchiveItself(const DestinationTree::Placement& place) const {
    return SameFile(options_.archive, place.folder + place.file);
  }

  std::string Where(const ListedEntry& entry) const {
    return options_.archive + ": " + Printable(entry.name) + ": ";
  }

  EntryOutcome Refuse(ArchiveSession& session, const ListedEntry& entry, const std::string& cause) {
    session.Skip();
    EntryOutcome outcome;
    outcome.failed = true;
    outcome.errors.push_back(Where(entry) + cause);
    return outcome;
  }

  DestinationTree tree_;
  EntrySelection selection_;
  TargetOrder order_;
};

}  // namespace

int RunExtract(const Context& context, const ExtractOptions& options) {
  const Console& console = context.console;
  Extraction extraction(context, options);
  std::string reason;
  if (!extraction.Prepare(reason)) {
    console.Error(options.folder + ": " + reason);
    return kExitFailure;
  }
  Progress progress("extracting", console.quiet());
  if (progress.wanted()) {
    progress.SetTotals(ListingTotals(context.api, options.archive, extraction.selection()));
  }

  std::size_t failed = 0, kept = 0;
  const EntryHandler handle = [&](std::size_t position, const ListedEntry& entry,
                                  ArchiveSession& session) {
    return extraction.Handle(position, entry, session);
  };
  const OutcomeSink report = [&](std::size_t, EntryOutcome& outcome) {
    for (const std::string& error : outcome.errors) console.Error(error);
    for (const std::string& warning : outcome.warnings) console.Warning(warning);
    if (!outcome.line.empty()) console.Out(outcome.line + "\n");
    failed += outcome.failed ? 1 : 0;
    kept += outcome.kept ? 1 : 0;
    progress.FinishEntry();
  };
  const WalkEnd end =
      WalkEntries(context, options.archive, &Progress::DataProc, handle, report,
                  [&](std::size_t position) { extraction.order().Dropped(position); });
  progress.Clear();
  if (end.open.code != 0) {
    console.Error(DescribeOpenFailure(options.archive, end.open, context.linked()));
    return kExitFailure;
  }

  bool complete = true;
  if (end.end_code != host::kEndArchive) {
    console.Error(DescribeListingEnd(options.archive, end.entries, end.end_code));
    complete = false;
  }
  for (const std::string& pattern : extraction.selection().Unmatched()) {
    console.Error(options.archive + ": no entry matches " + pattern);
    complete = false;
  }
  if (kept != 0 && !options.skip_existing) {
    console.Error(options.archive + ": " + std::to_string(kept) +
                  (kept == 1 ? " file exists and was" : " files exist and were") +
                  " kept (--overwrite replaces them, -k skips them quietly)");
  }
  const std::size_t selected = extraction.selected_.load();
  std::string summary = "extracted " + std::to_string(extraction.extracted_.load()) + " of " +
                        Plural(selected, "entry", "entries") + " to " + options.folder;
  if (failed != 0) summary += " (" + std::to_string(failed) + " not extracted)";
  console.Note(summary);
  const bool all_done = failed == 0 && (kept == 0 || options.skip_existing);
  return complete && all_done ? kExitOk : kExitFailure;
}

}  // namespace kzr::cli
