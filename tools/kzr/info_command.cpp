// kzr info: the header's fields and what the directory holds.
#include "archive_view.h"
#include "commands.h"
#include "json_output.h"
#include "quantities.h"

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

std::string Json(const std::string& archive, const ArchiveHeader& header, const Findings& found) {
  return JsonObject::Document(archive)
             .Text("flavour", FlavourName(header))
             .Raw("header", JsonObject()
                                .Number("flavour_byte", std::uint64_t{header.FlavourByte()})
                                .Number("archive_length", std::uint64_t{header.ArchiveLength()})
                                .Number("entry_count", std::uint64_t{header.EntryCount()})
                                .Number("directory_offset", std::uint64_t{header.DirectoryOffset()})
                                .Number("directory_length", std::uint64_t{header.DirectoryLength()})
                                .Closed())
             .Number("entries", std::uint64_t{found.entries})
             .Number("compressed", std::uint64_t{found.compressed})
             .Number("packed", found.packed)
             .Number("unpacked", found.unpacked)
             .Bool("complete", found.complete)
             .Closed() +
         "\n";
}

}  // namespace

int RunInfo(const Context& context, const InfoOptions& options) {
  const Console& console = context.console;
  const std::string& path = options.archive;
  ArchiveView archive;
  if (!archive.Open(context, path)) {
    if (options.json) {
      console.Out(JsonObject::Document(path)
                      .Bool("complete", false)
                      .Text("error", archive.error())
                      .Closed() +
                  "\n");
    }
    return kExitFailure;
  }
  Findings found;
  for (const Entry& entry : archive.entries()) {
    ++found.entries;
    found.packed += entry.view.StoredSize();
    found.unpacked += entry.view.UncompressedSize();
    found.compressed += entry.view.IsCompressed() ? 1 : 0;
  }
  found.complete = !archive.damaged();
  const ArchiveHeader& header = archive.reader().header();

  if (options.json) {
    console.Out(Json(path, header, found));
  } else {
    const auto line = [&](const char* key, const std::string& value) {
      std::string text = key;
      text.resize(20, ' ');
      console.Out(text + value + "\n");
    };
    const auto size = [&](std::uint64_t bytes) { return SizeText(bytes, options.human); };
    line("archive:", path);
    line("flavour:", FlavourName(header) + " (" + std::to_string(header.FlavourByte()) + ")");
    line("archive length:", size(header.ArchiveLength()));
    line("entry count field:", std::to_string(header.EntryCount()));
    line("directory offset:", std::to_string(header.DirectoryOffset()));
    line("directory length:", size(header.DirectoryLength()));
    line("entries found:", std::to_string(found.entries) +
                               (found.complete ? "" : " (directory damaged after these)"));
    line("compressed:", std::to_string(found.compressed));
    line("packed total:", size(found.packed));
    line("unpacked total:", size(found.unpacked));
  }
  if (!found.complete) {
    console.Error(DamageMessage(path, found.entries));
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace kzr::cli
