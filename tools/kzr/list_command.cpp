// kzr list: the entries as they are reported, in listing order.
#include <algorithm>
#include <charconv>
#include <cstring>
#include <utility>

#include "archive_view.h"
#include "commands.h"
#include "entry_selection.h"
#include "json_output.h"
#include "messages.h"
#include "platform/files.h"
#include "quantities.h"

namespace kzr::cli {
namespace {

// The stored name's bytes in hexadecimal.
std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex = "\"";
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0x0F];
  }
  return hex + "\"";
}

// The name as text with `/` between folders on every system, and the bytes
// the archive holds.
std::string JsonEntry(const Entry& entry) {
  return JsonObject()
      .Text("name", JsonName(entry.name))
      .Raw("stored", Hex(entry.view.StoredName()))
      .Number("packed", std::uint64_t{entry.view.StoredSize()})
      .Number("unpacked", std::uint64_t{entry.view.UncompressedSize()})
      .Bool("compressed", entry.view.IsCompressed())
      .Closed();
}

// `text` right-aligned in the 12 places of `column` (sizes of 32 bits always
// fit, as numbers or in human units).
void RightAligned(char* column, std::string_view text) {
  const std::size_t width = std::min<std::size_t>(text.size(), 12);
  std::memcpy(column + 12 - width, text.data(), width);
}

// One line of the listing, appended to `block`: "%12s %12s  %-12s" and the
// name, the columns made in a fixed buffer.
void AppendTextLine(std::string& block, const Entry& entry, bool human) {
  char head[12 + 1 + 12 + 2 + 12];
  std::memset(head, ' ', sizeof head);
  for (const auto& [column, size] :
       {std::pair{0, entry.view.StoredSize()}, {13, entry.view.UncompressedSize()}}) {
    if (human) {
      RightAligned(head + column, SizeText(size, true));
    } else {
      char digits[16];
      const char* end = std::to_chars(digits, digits + sizeof digits, size).ptr;
      RightAligned(head + column, {digits, static_cast<std::size_t>(end - digits)});
    }
  }
  const std::string_view compressed = entry.view.IsCompressed() ? "yes" : "no";
  std::memcpy(head + 27, compressed.data(), compressed.size());
  block.append(head, sizeof head);
  AppendPrintable(block, entry.name, kPathSeparator);
  block += '\n';
}

}  // namespace

int RunList(const Context& context, const ListOptions& options) {
  const Console& console = context.console;
  ArchiveView archive;
  if (!archive.Open(context, options.archive)) {
    if (options.json) console.Out(Unopened(JsonObject::Document(options.archive), archive.error()));
    return kExitFailure;
  }
  EntrySelection selection(options.choice.patterns, options.choice.excludes);
  if (options.json) {
    console.Out(JsonObject::Document(options.archive).Open() + ",\n \"entries\": [");
  } else if (!console.quiet() && !options.names_only) {
    console.Out("      packed     unpacked  compressed  name\n");
  }
  std::size_t count = 0;
  std::uint64_t packed = 0, unpacked = 0;
  std::string block;
  for (const Entry& entry : archive.entries()) {
    if (!selection.Selects(entry.name)) continue;
    if (options.json) {
      console.Out((count == 0 ? "\n  " : ",\n  ") + JsonEntry(entry));
    } else {
      if (options.names_only) {
        AppendPrintable(block, entry.name, kPathSeparator);
        block += '\n';
      } else {
        AppendTextLine(block, entry, options.human);
      }
      if (block.size() >= Console::kBlockSize) {
        console.OutLines(block);
        block.clear();
      }
    }
    ++count;
    packed += entry.view.StoredSize();
    unpacked += entry.view.UncompressedSize();
  }
  console.OutLines(block);
  const bool complete = !archive.damaged();
  const std::size_t seen = archive.entries().size();
  if (options.json) {
    console.Out(std::string(count == 0 ? "" : "\n ") + "],\n \"complete\": " +
                (complete ? "true" : "false") + "}\n");
  } else if (!options.names_only) {
    std::string summary = Plural(count, "entry", "entries");
    if (count != seen) summary += " of " + std::to_string(seen);
    summary += ", " + SizeWords(packed, options.human) + " packed, " +
               SizeWords(unpacked, options.human) + " unpacked";
    console.Note(summary);
  }
  const bool all_found = selection.ReportUnmatched(console, options.archive);
  if (!complete) {
    console.Error(DamageMessage(options.archive, seen));
    return kExitFailure;
  }
  return all_found ? kExitOk : kExitFailure;
}

}  // namespace kzr::cli
