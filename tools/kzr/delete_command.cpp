// kzr delete: removes the entries the patterns select, with one DeleteFiles
// call, which writes the archive anew beside the old one and renames it into
// place.
#include "archive_session.h"
#include "commands.h"
#include "interruption.h"
#include "name_pattern.h"
#include "native_fs.h"
#include "result_codes.h"

namespace kzr::cli {

int RunDelete(const Context& context, const DeleteOptions& options) {
  const Console& console = context.console;
  if (context.api.DeleteFiles == nullptr) {
    console.Error("the plugin cannot delete entries (it has no DeleteFiles)");
    return kExitFailure;
  }
  std::string delete_list;
  std::size_t chosen = 0;
  std::vector<bool> used(options.patterns.size(), false);
  {
    int code = 0;
    std::unique_ptr<ArchiveSession> session = ArchiveSession::Open(context.api, options.archive, code);
    if (!session) {
      console.Error(options.archive + ": " + DescribeResult(code));
      return kExitFailure;
    }
    ListedEntry entry;
    std::size_t count = 0;
    while ((code = session->Next(entry)) == host::kOk) {
      ++count;
      bool selected = false;
      for (std::size_t p = 0; p < options.patterns.size(); ++p) {
        if (PatternSelects(options.patterns[p], entry.name)) selected = used[p] = true;
      }
      if (!selected) continue;
      if (console.verbose()) console.Out(Printable(entry.name) + "\n");
      delete_list += entry.name;
      delete_list += '\0';
      ++chosen;
    }
    if (code != host::kEndArchive) {
      console.Error(DescribeListingEnd(options.archive, count, code) + "; nothing deleted");
      return kExitFailure;
    }
  }
  delete_list += '\0';
  bool complete = true;
  for (std::size_t p = 0; p < options.patterns.size(); ++p) {
    if (!used[p]) {
      console.Error(options.archive + ": no entry matches " + options.patterns[p]);
      complete = false;
    }
  }
  if (chosen != 0) {
    std::string folder = options.archive;
    while (!folder.empty() && !IsNativeSeparator(folder.back())) folder.pop_back();
    const WritingIn writing(folder.empty() ? std::string(".") + kNativeSeparator : folder);
    std::string archive = options.archive;
    ClearSystemReason();
    const int code = context.api.DeleteFiles(archive.data(), delete_list.data());
    if (code != host::kOk) {
      const std::string reason = SystemReason();
      console.Error(options.archive + ": " + DescribeResult(code) +
                    (reason.empty() ? "" : ": " + reason) + "; the archive is kept as it was");
      return kExitFailure;
    }
  }
  console.Note("deleted " + std::to_string(chosen) + (chosen == 1 ? " entry" : " entries") +
               " from " + options.archive);
  return complete ? kExitOk : kExitFailure;
}

}  // namespace kzr::cli
