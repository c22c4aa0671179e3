// kzr info: the header's fields and what the directory holds.
#include "archive_view.h"
#include "commands.h"
#include "json_output.h"
#include "quantities.h"

namespace kzr::cli {

int RunInfo(const Context& context, const InfoOptions& options) {
  const Console& console = context.console;
  const std::string& path = options.archive;
  ArchiveView archive;
  if (!archive.Open(context, path)) {
    if (options.json) console.Out(Unopened(JsonObject::Document(path), archive.error(), false));
    return kExitFailure;
  }
  const std::size_t entries = archive.entries().size();
  std::size_t compressed = 0;
  std::uint64_t packed = 0, unpacked = 0;
  for (const Entry& entry : archive.entries()) {
    packed += entry.view.StoredSize();
    unpacked += entry.view.UncompressedSize();
    compressed += entry.view.IsCompressed() ? 1 : 0;
  }
  const bool complete = !archive.damaged();
  const ArchiveHeader& header = archive.reader().header();
  const std::string flavour = header.IsMasked() ? "masked" : "plain";

  if (options.json) {
    const std::string fields =
        JsonObject()
            .Number("flavour_byte", std::uint64_t{header.FlavourByte()})
            .Number("archive_length", std::uint64_t{header.ArchiveLength()})
            .Number("entry_count", std::uint64_t{header.EntryCount()})
            .Number("directory_offset", std::uint64_t{header.DirectoryOffset()})
            .Number("directory_length", std::uint64_t{header.DirectoryLength()})
            .Closed();
    console.Out(JsonObject::Document(path)
                    .Text("flavour", flavour)
                    .Raw("header", fields)
                    .Number("entries", std::uint64_t{entries})
                    .Number("compressed", std::uint64_t{compressed})
                    .Number("packed", packed)
                    .Number("unpacked", unpacked)
                    .Bool("complete", complete)
                    .Closed() +
                "\n");
  } else {
    const auto line = [&](const char* key, const std::string& value) {
      std::string text = key;
      text.resize(20, ' ');
      console.Out(text + value + "\n");
    };
    const auto size = [&](std::uint64_t bytes) { return SizeText(bytes, options.human); };
    line("archive:", path);
    line("flavour:", flavour + " (" + std::to_string(header.FlavourByte()) + ")");
    line("archive length:", size(header.ArchiveLength()));
    line("entry count field:", std::to_string(header.EntryCount()));
    line("directory offset:", std::to_string(header.DirectoryOffset()));
    line("directory length:", size(header.DirectoryLength()));
    line("entries found:",
         std::to_string(entries) + (complete ? "" : " (directory damaged after these)"));
    line("compressed:", std::to_string(compressed));
    line("packed total:", size(packed));
    line("unpacked total:", size(unpacked));
  }
  if (!complete) {
    console.Error(DamageMessage(path, entries));
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace kzr::cli
