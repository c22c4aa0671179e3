// Walks every entry of an archive and hands each to a handler exactly once,
// on up to `jobs` handles of the same archive at once (the plugin allows
// several), each on a thread of its own. Workers take the next entry in
// listing order as they become free, so a large member does not hold up the
// rest. Whatever the handler found is delivered in listing order, so output,
// messages and exit status are those of a single walk.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "archive_session.h"
#include "commands.h"

namespace kzr::cli {

// What became of one entry.
struct EntryOutcome {
  bool failed = false;
  bool kept = false;  // an existing file was left as it was
  std::vector<std::string> errors;    // for stderr, "kzr: " is added
  std::vector<std::string> warnings;  // for stderr unless quiet
  std::string line;                 // for stdout (verbose listings), without its newline
  std::string record;               // the entry's object in a JSON document, if any
};

// Called on a worker's thread with the entry just reported on `session`; must
// make exactly one ProcessFile call on it (extract, test or skip).
using EntryHandler =
    std::function<EntryOutcome(std::size_t position, const ListedEntry&, ArchiveSession&)>;
// Called in listing order, one call at a time.
using OutcomeSink = std::function<void(std::size_t position, EntryOutcome&)>;

struct WalkEnd {
  OpenFailure open;       // code not 0: the archive could not be opened
  int end_code = 10;      // what ReadHeader answered after the last entry
  std::size_t entries = 0;
};

// Called on a worker's thread for an entry that was handed to it but that its
// handle did not list: the listing ended before it (on that handle, which may
// differ from the others' when the archive was replaced while they opened).
// The handler is never called for that position.
using DroppedEntry = std::function<void(std::size_t position)>;

WalkEnd WalkEntries(const Context& context, const std::string& archive,
                    host::ProcessDataProc progress, const EntryHandler& handle,
                    const OutcomeSink& deliver, const DroppedEntry& dropped = nullptr);

}  // namespace kzr::cli
