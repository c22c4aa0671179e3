// kzr extract: every entry, or those the patterns select, into a folder,
// through ProcessFile. Names that could lead outside the folder are refused,
// existing files are kept unless --overwrite is given, and nothing is
// written through a symbolic link.
#include <optional>

#include "archive_session.h"
#include "commands.h"
#include "core_reader.h"
#include "name_pattern.h"
#include "native_fs.h"
#include "plugin/extraction.h"
#include "progress.h"
#include "result_codes.h"
#include "safe_path.h"

namespace kzr::cli {
namespace {

struct Selection {
  std::vector<bool> chosen;  // by listing position
  std::vector<bool> pattern_used;
  std::size_t count = 0;
  std::uint64_t bytes = 0;
};

Selection Select(const Listing& listing, const std::vector<std::string>& patterns) {
  Selection selection;
  selection.pattern_used.assign(patterns.size(), false);
  for (const ListedEntry& entry : listing.entries) {
    bool chosen = patterns.empty();
    for (std::size_t p = 0; p < patterns.size(); ++p) {
      if (PatternSelects(patterns[p], entry.name)) {
        chosen = true;
        selection.pattern_used[p] = true;
      }
    }
    selection.chosen.push_back(chosen);
    if (chosen) {
      ++selection.count;
      selection.bytes += entry.unpacked;
    }
  }
  return selection;
}

class Extraction {
 public:
  Extraction(const Context& context, const ExtractOptions& options, const Listing& listing,
             std::optional<CoreArchive> core)
      : context_(context),
        options_(options),
        listing_(listing),
        core_(std::move(core)),
        tree_(options.folder) {}

  // One selected entry, the current one of `session`; true when it was written.
  bool ExtractEntry(ArchiveSession& session, std::size_t position) {
    const std::string& name = listing_.entries[position].name;
    std::string reason;
    const std::optional<StoredPath> path = SplitStoredName(name, reason);
    if (!path) return Refuse(session, name, "refused: " + reason);
    if (core_ && core_->entries[position].name.size() > name.size()) {
      return Refuse(session, name, "refused: the stored name is longer than the " +
                                       std::to_string(name.size()) +
                                       " characters the plugin reports");
    }
    const std::optional<DestinationTree::Placement> place = tree_.Place(*path, reason);
    if (!place) return Refuse(session, name, "refused: " + reason);

    const std::string target = place->folder + place->file;
    switch (KindOf(target)) {
      case FileKind::kMissing:
        break;
      case FileKind::kFile:
        if (options_.overwrite) break;
        return Refuse(session, name, target + " exists; kept (--overwrite replaces it)");
      case FileKind::kSymlink:
        return Refuse(session, name, "refused: " + target + " is a symbolic link");
      default:
        return Refuse(session, name, target + " exists and is not a file");
    }

    const int code = session.Extract(place->folder, place->file);
    if (code == host::kOk) return true;
    std::string cause = DescribeResult(code);
    if (code == host::kSmallBuffer) {
      cause += ": " + target + " is longer than " + std::to_string(kMaxOutputPathLength) +
               " characters";
    } else if (code == host::kCreateError || code == host::kWriteError) {
      cause += " " + target;
    }
    Report(name, cause);
    return false;
  }

  void Report(const std::string& name, const std::string& cause) const {
    context_.console.Error(options_.archive + ": " + Printable(name) + ": " + cause);
  }

 private:
  bool Refuse(ArchiveSession& session, const std::string& name, const std::string& cause) {
    session.Skip();
    Report(name, cause);
    return false;
  }

  const Context& context_;
  const ExtractOptions& options_;
  const Listing& listing_;
  const std::optional<CoreArchive> core_;
  DestinationTree tree_;
};

}  // namespace

int RunExtract(const Context& context, const ExtractOptions& options) {
  const Console& console = context.console;
  // A first listing chooses the entries and sizes the progress bar; the
  // second pass extracts them in the same order.
  int code = 0;
  const std::unique_ptr<Listing> listing = ListArchive(context.api, options.archive, code);
  if (!listing) {
    console.Error(options.archive + ": " + DescribeResult(code));
    return kExitFailure;
  }
  std::optional<CoreArchive> core = ReadWithCore(options.archive);
  if (core && !SameEntries(*core, *listing)) core.reset();
  const Selection selection = Select(*listing, options.patterns);

  std::string error;
  if (!MakeFolders(options.folder, error)) {
    console.Error(options.folder + ": cannot create the folder: " + error);
    return kExitFailure;
  }

  std::unique_ptr<ArchiveSession> session =
      ArchiveSession::Open(context.api, options.archive, code);
  if (!session) {
    console.Error(options.archive + ": " + DescribeResult(code));
    return kExitFailure;
  }
  Progress progress("extracting", selection.bytes, selection.count, console.quiet());
  session->SetProcessDataProc(&Progress::DataProc);

  Extraction extraction(context, options, *listing, std::move(core));
  std::size_t extracted = 0, failed = 0, position = 0;
  ListedEntry entry;
  int end_code;
  while ((end_code = session->Next(entry)) == host::kOk) {
    if (position >= listing->entries.size() || entry.name != listing->entries[position].name) {
      console.Error(options.archive + ": the archive changed while it was being extracted");
      return kExitFailure;
    }
    if (!selection.chosen[position]) {
      session->Skip();
    } else {
      if (extraction.ExtractEntry(*session, position)) {
        ++extracted;
      } else {
        ++failed;
      }
      progress.FinishEntry();
    }
    ++position;
  }
  progress.Clear();

  bool complete = true;
  if (end_code != host::kEndArchive) {
    console.Error(DescribeListingEnd(options.archive, position, end_code));
    complete = false;
  }
  for (std::size_t p = 0; p < options.patterns.size(); ++p) {
    if (!selection.pattern_used[p]) {
      console.Error(options.archive + ": no entry matches " + options.patterns[p]);
      complete = false;
    }
  }
  std::string summary = "extracted " + std::to_string(extracted) + " of " +
                        std::to_string(selection.count) + " entries to " + options.folder;
  if (failed != 0) summary += " (" + std::to_string(failed) + " not extracted)";
  console.Note(summary);
  return complete && failed == 0 ? kExitOk : kExitFailure;
}

}  // namespace kzr::cli
