// kzr info: what the plugin finds, and the header's fields, which only the
// linked-in reader can tell.
#include "archive/archive_reader.h"
#include "archive_session.h"
#include "commands.h"
#include "result_codes.h"

namespace kzr::cli {

int RunInfo(const Context& context, const std::string& archive) {
  const Console& console = context.console;
  int code = 0;
  std::unique_ptr<ArchiveSession> session = ArchiveSession::Open(context.api, archive, code);
  if (!session) {
    console.Error(archive + ": " + DescribeResult(code));
    return kExitFailure;
  }
  std::size_t entries = 0, compressed = 0;
  std::uint64_t packed = 0, unpacked = 0;
  ListedEntry entry;
  int end_code;
  while ((end_code = session->Next(entry)) == host::kOk) {
    ++entries;
    packed += entry.packed;
    unpacked += entry.unpacked;
    compressed += entry.compressed.value_or(false) ? 1 : 0;
  }
  const bool complete = end_code == host::kEndArchive;

  const auto line = [&](const char* key, const std::string& value) {
    std::string text = key;
    text.resize(20, ' ');
    console.Out(text + value + "\n");
  };
  line("archive:", archive);
  if (const ArchiveReader* reader = session->reader()) {
    const ArchiveHeader& header = reader->header();
    line("flavour:", std::string(header.IsMasked() ? "masked" : "plain") + " (" +
                         std::to_string(header.FlavourByte()) + ")");
    line("archive length:", std::to_string(header.ArchiveLength()));
    line("entry count field:", std::to_string(header.EntryCount()));
    line("directory offset:", std::to_string(header.DirectoryOffset()));
    line("directory length:", std::to_string(header.DirectoryLength()));
  } else {
    line("header fields:", "not known through a loaded plugin");
  }
  line("entries found:",
       std::to_string(entries) + (complete ? "" : " (directory damaged after these)"));
  if (session->reader() != nullptr) line("compressed:", std::to_string(compressed));
  line("packed total:", std::to_string(packed));
  line("unpacked total:", std::to_string(unpacked));
  if (!complete) {
    console.Error(DescribeListingEnd(archive, entries, end_code));
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace kzr::cli
