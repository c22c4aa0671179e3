// kzr list: the entries as the plugin reports them, written as they come
// (nothing is kept per entry), with the "compressed" flag where the linked-in
// reader tells it.
#include <cstdio>

#include "archive_session.h"
#include "commands.h"
#include "json_output.h"
#include "result_codes.h"

namespace kzr::cli {
namespace {

const char* CompressedText(const ListedEntry& entry, bool json) {
  if (!entry.compressed) return json ? "null" : "?";
  if (json) return *entry.compressed ? "true" : "false";
  return *entry.compressed ? "yes" : "no";
}

}  // namespace

int RunList(const Context& context, const ListOptions& options) {
  const Console& console = context.console;
  int code = 0;
  std::unique_ptr<ArchiveSession> session = ArchiveSession::Open(context.api, options.archive, code);
  if (!session) {
    console.Error(options.archive + ": " + DescribeResult(code));
    return kExitFailure;
  }
  if (options.json) {
    console.Out("{\"archive\": " + JsonString(options.archive) + ",\n \"entries\": [");
  } else if (!console.quiet()) {
    console.Out("      packed     unpacked  compressed  name\n");
  }
  std::size_t count = 0;
  std::uint64_t packed = 0, unpacked = 0;
  ListedEntry entry;
  std::string line;
  char numbers[64];
  int end_code;
  while ((end_code = session->Next(entry)) == host::kOk) {
    line.clear();
    if (options.json) {
      line += count == 0 ? "\n  {\"name\": " : ",\n  {\"name\": ";
      line += JsonString(entry.name);
      std::snprintf(numbers, sizeof numbers, ", \"packed\": %u, \"unpacked\": %u, \"compressed\": ",
                    entry.packed, entry.unpacked);
      line += numbers;
      line += CompressedText(entry, true);
      line += '}';
    } else {
      std::snprintf(numbers, sizeof numbers, "%12u %12u  %-10s  ", entry.packed, entry.unpacked,
                    CompressedText(entry, false));
      line += numbers;
      line += Printable(entry.name);
      line += '\n';
    }
    console.Out(line);
    ++count;
    packed += entry.packed;
    unpacked += entry.unpacked;
  }
  const bool complete = end_code == host::kEndArchive;
  if (options.json) {
    console.Out(std::string(count == 0 ? "" : "\n ") + "],\n \"complete\": " +
                (complete ? "true" : "false") + "}\n");
  } else {
    console.Note(std::to_string(count) + " entries, " + std::to_string(packed) +
                 " bytes packed, " + std::to_string(unpacked) + " bytes unpacked");
  }
  if (!complete) {
    console.Error(DescribeListingEnd(options.archive, count, end_code));
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace kzr::cli
