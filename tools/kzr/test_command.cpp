// kzr test: every entry decoded in memory by ProcessFile's test operation;
// nothing is written.
#include "archive_session.h"
#include "commands.h"
#include "progress.h"
#include "result_codes.h"

namespace kzr::cli {

int RunTest(const Context& context, const std::string& archive) {
  const Console& console = context.console;
  int code = 0;
  // The first listing only sizes the progress bar.
  const std::unique_ptr<Listing> listing = ListArchive(context.api, archive, code);
  std::unique_ptr<ArchiveSession> session;
  if (listing) session = ArchiveSession::Open(context.api, archive, code);
  if (!session) {
    console.Error(archive + ": " + DescribeResult(code));
    return kExitFailure;
  }
  std::uint64_t bytes = 0;
  for (const ListedEntry& entry : listing->entries) bytes += entry.unpacked;
  Progress progress("testing", bytes, listing->entries.size(), console.quiet());
  session->SetProcessDataProc(&Progress::DataProc);

  std::size_t tested = 0, bad = 0;
  ListedEntry entry;
  int end_code;
  while ((end_code = session->Next(entry)) == host::kOk) {
    ++tested;
    code = session->Test();
    if (code != host::kOk) {
      ++bad;
      console.Error(archive + ": " + Printable(entry.name) + ": " + DescribeResult(code));
    }
    progress.FinishEntry();
  }
  progress.Clear();

  const bool complete = end_code == host::kEndArchive;
  if (!complete) console.Error(DescribeListingEnd(archive, tested, end_code));
  if (bad == 0) {
    console.Note(archive + ": " + std::to_string(tested) + " entries tested, all good" +
                 (complete ? "" : " (but the directory is damaged)"));
  } else {
    console.Note(archive + ": " + std::to_string(tested) + " entries tested, " +
                 std::to_string(bad) + " failed");
  }
  return complete && bad == 0 ? kExitOk : kExitFailure;
}

}  // namespace kzr::cli
