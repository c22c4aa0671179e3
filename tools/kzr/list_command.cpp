// kzr list: the entries as the plugin reports them, with the "compressed"
// flag from the core.
#include <cstdio>
#include <optional>

#include "archive_session.h"
#include "commands.h"
#include "core_reader.h"
#include "json_output.h"
#include "result_codes.h"

namespace kzr::cli {

std::string DescribeListingEnd(const std::string& archive, std::size_t entries, int end_code) {
  if (end_code == host::kBadArchive) {
    return archive + ": damaged directory; only the " + std::to_string(entries) +
           " entries before the damage could be read";
  }
  return archive + ": listing stopped after " + std::to_string(entries) +
         " entries: " + DescribeResult(end_code);
}

namespace {

void PrintJson(const std::string& archive, const Listing& listing,
               const std::optional<CoreArchive>& core) {
  std::printf("{\"archive\": %s,\n \"entries\": [", JsonString(archive).c_str());
  for (std::size_t i = 0; i < listing.entries.size(); ++i) {
    const ListedEntry& entry = listing.entries[i];
    const char* compressed = !core ? "null" : core->entries[i].compressed ? "true" : "false";
    std::printf("%s\n  {\"name\": %s, \"packed\": %u, \"unpacked\": %u, \"compressed\": %s}",
                i == 0 ? "" : ",", JsonString(entry.name).c_str(), entry.packed, entry.unpacked,
                compressed);
  }
  std::printf("%s],\n \"complete\": %s}\n", listing.entries.empty() ? "" : "\n ",
              listing.end_code == host::kEndArchive ? "true" : "false");
}

void PrintTable(const Context& context, const Listing& listing,
                const std::optional<CoreArchive>& core) {
  if (!context.console.quiet()) {
    std::printf("%12s %12s  %-10s  %s\n", "packed", "unpacked", "compressed", "name");
  }
  std::uint64_t packed = 0, unpacked = 0;
  for (std::size_t i = 0; i < listing.entries.size(); ++i) {
    const ListedEntry& entry = listing.entries[i];
    const char* compressed = !core ? "?" : core->entries[i].compressed ? "yes" : "no";
    std::printf("%12u %12u  %-10s  %s\n", entry.packed, entry.unpacked, compressed,
                Printable(entry.name).c_str());
    packed += entry.packed;
    unpacked += entry.unpacked;
  }
  context.console.Note(std::to_string(listing.entries.size()) + " entries, " +
                       std::to_string(packed) + " bytes packed, " + std::to_string(unpacked) +
                       " bytes unpacked");
}

}  // namespace

int RunList(const Context& context, const ListOptions& options) {
  int code = 0;
  const std::unique_ptr<Listing> listing = ListArchive(context.api, options.archive, code);
  if (!listing) {
    context.console.Error(options.archive + ": " + DescribeResult(code));
    return kExitFailure;
  }
  // The flag is shown only when the core sees exactly the plugin's entries.
  std::optional<CoreArchive> core = ReadWithCore(options.archive);
  if (core && !SameEntries(*core, *listing)) core.reset();

  if (options.json) {
    PrintJson(options.archive, *listing, core);
  } else {
    PrintTable(context, *listing, core);
  }
  if (listing->end_code != host::kEndArchive) {
    context.console.Error(
        DescribeListingEnd(options.archive, listing->entries.size(), listing->end_code));
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace kzr::cli
