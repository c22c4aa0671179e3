// kzr info: what the plugin finds, and the header's fields, which only the
// linked-in reader can tell.
#include "archive/archive_reader.h"
#include "archive_session.h"
#include "commands.h"
#include "json_output.h"
#include "quantities.h"
#include "result_codes.h"

namespace kzr::cli {
namespace {

struct Findings {
  std::size_t entries = 0;
  std::size_t compressed = 0;
  std::uint64_t packed = 0;
  std::uint64_t unpacked = 0;
  bool complete = false;
};

std::string FlavourName(const ArchiveHeader& header) {
  return header.IsMasked() ? "masked" : "plain";
}

std::string Json(const std::string& archive, const ArchiveReader* reader, const Findings& found) {
  JsonObject document = JsonObject::Document(archive);
  if (reader != nullptr) {
    const ArchiveHeader& header = reader->header();
    document.Text("flavour", FlavourName(header))
        .Raw("header", JsonObject()
                           .Number("flavour_byte", std::uint64_t{header.FlavourByte()})
                           .Number("archive_length", std::uint64_t{header.ArchiveLength()})
                           .Number("entry_count", std::uint64_t{header.EntryCount()})
                           .Number("directory_offset", std::uint64_t{header.DirectoryOffset()})
                           .Number("directory_length", std::uint64_t{header.DirectoryLength()})
                           .Closed());
  } else {
    document.Raw("flavour", "null").Raw("header", "null");
  }
  return document.Number("entries", std::uint64_t{found.entries})
             .Number("compressed", reader != nullptr
                                       ? std::optional<std::uint64_t>(found.compressed)
                                       : std::nullopt)
             .Number("packed", found.packed)
             .Number("unpacked", found.unpacked)
             .Bool("complete", found.complete)
             .Closed() +
         "\n";
}

}  // namespace

int RunInfo(const Context& context, const InfoOptions& options) {
  const Console& console = context.console;
  const std::string& archive = options.archive;
  OpenFailure failure;
  std::unique_ptr<ArchiveSession> session = ArchiveSession::Open(context.api, archive, failure);
  if (!session) {
    const std::string error = DescribeOpenFailure(archive, failure, context.linked());
    if (options.json) {
      console.Out(JsonObject::Document(archive).Bool("complete", false).Text("error", error).Closed() +
                  "\n");
    }
    console.Error(error);
    return kExitFailure;
  }
  Findings found;
  ListedEntry entry;
  int end_code;
  while ((end_code = session->Next(entry)) == host::kOk) {
    ++found.entries;
    found.packed += entry.packed;
    found.unpacked += entry.unpacked;
    found.compressed += entry.compressed.value_or(false) ? 1 : 0;
  }
  found.complete = end_code == host::kEndArchive;
  const ArchiveReader* reader = session->reader();

  if (options.json) {
    console.Out(Json(archive, reader, found));
  } else {
    const auto line = [&](const char* key, const std::string& value) {
      std::string text = key;
      text.resize(20, ' ');
      console.Out(text + value + "\n");
    };
    const auto size = [&](std::uint64_t bytes) { return SizeText(bytes, options.human); };
    line("archive:", archive);
    if (reader != nullptr) {
      const ArchiveHeader& header = reader->header();
      line("flavour:", FlavourName(header) + " (" + std::to_string(header.FlavourByte()) + ")");
      line("archive length:", size(header.ArchiveLength()));
      line("entry count field:", std::to_string(header.EntryCount()));
      line("directory offset:", std::to_string(header.DirectoryOffset()));
      line("directory length:", size(header.DirectoryLength()));
    } else {
      line("header fields:", "not known through a loaded plugin");
    }
    line("entries found:", std::to_string(found.entries) +
                               (found.complete ? "" : " (directory damaged after these)"));
    if (reader != nullptr) line("compressed:", std::to_string(found.compressed));
    line("packed total:", size(found.packed));
    line("unpacked total:", size(found.unpacked));
  }
  if (!found.complete) {
    console.Error(DescribeListingEnd(archive, found.entries, end_code));
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace kzr::cli
