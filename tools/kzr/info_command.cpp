// kzr info: the header's fields (from the core) and what the plugin finds.
#include <cstdio>
#include <optional>

#include "archive/format.h"
#include "archive_session.h"
#include "commands.h"
#include "core_reader.h"
#include "result_codes.h"

namespace kzr::cli {

int RunInfo(const Context& context, const std::string& archive) {
  int code = 0;
  const std::unique_ptr<Listing> listing = ListArchive(context.api, archive, code);
  if (!listing) {
    context.console.Error(archive + ": " + DescribeResult(code));
    return kExitFailure;
  }
  const std::optional<CoreArchive> core = ReadWithCore(archive);
  if (!core) {
    context.console.Error(archive + ": the plugin opened it, but its header cannot be read");
    return kExitFailure;
  }
  const ArchiveHeader& header = core->header;
  std::uint64_t packed = 0, unpacked = 0;
  for (const ListedEntry& entry : listing->entries) {
    packed += entry.packed;
    unpacked += entry.unpacked;
  }
  std::size_t compressed = 0;
  for (const CoreEntry& entry : core->entries) compressed += entry.compressed ? 1 : 0;
  const bool complete = listing->end_code == host::kEndArchive;

  const auto line = [](const char* key, const std::string& value) {
    std::printf("%-19s %s\n", key, value.c_str());
  };
  line("archive:", archive);
  line("flavour:", std::string(header.IsMasked() ? "masked" : "plain") + " (" +
                       std::to_string(header.FlavourByte()) + ")");
  line("archive length:", std::to_string(header.ArchiveLength()));
  line("entry count field:", std::to_string(header.EntryCount()));
  line("directory offset:", std::to_string(header.DirectoryOffset()));
  line("directory length:", std::to_string(header.DirectoryLength()));
  line("entries found:", std::to_string(listing->entries.size()) +
                             (complete ? "" : " (directory damaged after these)"));
  line("compressed:", std::to_string(compressed));
  line("packed total:", std::to_string(packed));
  line("unpacked total:", std::to_string(unpacked));
  if (!complete) {
    context.console.Error(DescribeListingEnd(archive, listing->entries.size(), listing->end_code));
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace kzr::cli
