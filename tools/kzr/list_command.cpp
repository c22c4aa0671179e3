// kzr list: the entries as the plugin reports them, written as they come
// (nothing is kept per entry), with the "compressed" flag where the linked-in
// reader tells it.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <utility>

#include "archive_session.h"
#include "commands.h"
#include "console.h"
#include "entry_selection.h"
#include "json_output.h"
#include "quantities.h"
#include "plugin/host_code_page.h"
#include "result_codes.h"

namespace kzr::cli {
namespace {

const char* CompressedText(const ListedEntry& entry) {
  if (!entry.compressed) return "?";
  return *entry.compressed ? "yes" : "no";
}

// The stored name's bytes in hexadecimal.
std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0x0F];
  }
  return "\"" + hex + "\"";
}

// The name as text with `/` between folders on every system, and the bytes
// the archive holds, where the linked-in reader tells them.
std::string JsonEntry(const ListedEntry& entry) {
  std::string name = entry.name;
  for (std::size_t at = 0; at < name.size(); at += host::CharacterLength(name, at)) {
    if (name[at] == '\\') name[at] = '/';
  }
  return JsonObject()
      .Text("name", name)
      .Raw("stored", entry.stored_name ? Hex(*entry.stored_name) : "null")
      .Number("packed", std::uint64_t{entry.packed})
      .Number("unpacked", std::uint64_t{entry.unpacked})
      .Bool("compressed", entry.compressed)
      .Closed();
}

// `text` right-aligned in the 12 places of `column` (sizes of 32 bits always
// fit, as numbers or in human units).
void RightAligned(char* column, std::string_view text) {
  const std::size_t width = std::min<std::size_t>(text.size(), 12);
  std::memcpy(column + 12 - width, text.data(), width);
}

// One line of the listing, appended to `block`. The columns before the name,
// "%12s %12s  %-12s", are made in a fixed buffer: padding a std::string
// costs a C runtime call per column, which shows in a listing of a million
// entries on Windows.
void AppendTextLine(std::string& block, const ListedEntry& entry, bool human) {
  char head[12 + 1 + 12 + 2 + 12];
  std::memset(head, ' ', sizeof head);
  for (const auto& [column, size] : {std::pair{0, entry.packed}, {13, entry.unpacked}}) {
    if (human) {
      RightAligned(head + column, SizeText(size, true));
    } else {
      char digits[16];
      const char* end = std::to_chars(digits, digits + sizeof digits, size).ptr;
      RightAligned(head + column, {digits, static_cast<std::size_t>(end - digits)});
    }
  }
  const std::string_view compressed = CompressedText(entry);
  std::memcpy(head + 27, compressed.data(), compressed.size());
  block.append(head, sizeof head);
  AppendPrintable(block, entry.name);
  block.append(kLineEnd);
}

}  // namespace

int RunList(const Context& context, const ListOptions& options) {
  const Console& console = context.console;
  OpenFailure failure;
  std::unique_ptr<ArchiveSession> session =
      ArchiveSession::Open(context.api, options.archive, failure);
  if (!session) {
    const std::string error = DescribeOpenFailure(options.archive, failure, context.linked());
    if (options.json) {
      console.Out(JsonObject::Document(options.archive)
                      .Raw("entries", "[]")
                      .Bool("complete", false)
                      .Text("error", error)
                      .Closed() +
                  "\n");
    }
    console.Error(error);
    return kExitFailure;
  }
  EntrySelection selection(options.choice.patterns, options.choice.excludes);
  if (options.json) {
    console.Out(JsonObject::Document(options.archive).Open() + ",\n \"entries\": [");
  } else if (!console.quiet()) {
    console.Out("      packed     unpacked  compressed  name\n");
  }
  std::size_t count = 0, seen = 0;
  std::uint64_t packed = 0, unpacked = 0;
  ListedEntry entry;
  session->ReportStoredNames(options.json);
  std::string block;
  int end_code;
  while ((end_code = session->Next(entry)) == host::kOk) {
    ++seen;
    if (!selection.Selects(entry.name)) continue;
    if (options.json) {
      console.Out((count == 0 ? "\n  " : ",\n  ") + JsonEntry(entry));
    } else {
      AppendTextLine(block, entry, options.human);
      if (block.size() >= Console::kBlockSize) {
        console.OutLines(block);
        block.clear();
      }
    }
    ++count;
    packed += entry.packed;
    unpacked += entry.unpacked;
  }
  console.OutLines(block);
  const bool complete = end_code == host::kEndArchive;
  if (options.json) {
    console.Out(std::string(count == 0 ? "" : "\n ") + "],\n \"complete\": " +
                (complete ? "true" : "false") + "}\n");
  } else {
    std::string summary = Plural(count, "entry", "entries");
    if (count != seen) summary += " of " + std::to_string(seen);
    summary += ", " + SizeWords(packed, options.human) + " packed, " +
               SizeWords(unpacked, options.human) + " unpacked";
    console.Note(summary);
  }
  bool all_found = true;
  for (const std::string& pattern : selection.Unmatched()) {
    console.Error(options.archive + ": no entry matches " + pattern);
    all_found = false;
  }
  if (!complete) {
    console.Error(DescribeListingEnd(options.archive, seen, end_code));
    return kExitFailure;
  }
  return all_found ? kExitOk : kExitFailure;
}

}  // namespace kzr::cli
