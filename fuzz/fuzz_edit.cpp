// Edits arbitrary archives through PackFiles and DeleteFiles, as a file
// manager does when files are copied into an archive or deleted from it, and
// aborts when an answer breaks the editing contract. After every call:
//  - answer 0: the file is a sound archive of the old flavour (masked when
//    PackFiles made it) holding exactly the expected entries: every old
//    entry that was neither replaced nor deleted, in directory order, with
//    its name, record fields (all but the data offset) and stored bytes
//    unchanged, then the added files in list order, stored anew;
//  - any other answer: the file is byte for byte what it was (or still
//    absent), and the sources of a move are all still there;
//  - either way no "*.kzr-tmp-*" file is left beside the archive.
// An edit that a sound archive and readable sources allow must succeed, and
// a deletion that matches nothing must leave the file as it was.
//
// Input:
//   byte 0     bits 0-2: how the archive is made (below); bit 3: masked flavour
//   bytes 1-2  u16 length of the archive description, then the description
//   the rest   up to kMaxOperations operations, each on the result of the last
// Archives:
//   0, 5-7  the builder's archive of the described entries
//   1       the same with a tail after the last record (its length is the
//           description's first byte, its bytes the description's last)
//   2       the description is the whole file
//   3       a u16 data length, then data and directory behind a header that
//           describes them
//   4       no file (PackFiles makes a new archive)
// Entry: flags (bit 0: compressed, with the unpacked size in the next byte;
// bit 1: a u16 data offset of its own follows; bit 2: reserved words all
// ones), name length, name, stored length, stored bytes.
// Operation: a byte (bit 0: PackFiles 0, DeleteFiles 1; bits 1-3: items - 1;
// PackFiles only: bit 4 moves the files; bits 5-7 the sub-path: 0 none,
// 1 empty, 2 literal, 3 an entry's folder with its separator, 4 the same
// without it, else none), then per item a byte: bits 0-1: 0 a literal
// (length, bytes), 1 an entry's name, 2 an entry's folder (PackFiles: a
// folder item; DeleteFiles: "folder\*.*"), 3 an entry's name and one more
// byte; bit 2: in capitals; bit 3: with the other separator; DeleteFiles
// only: bit 4 as the listing shows it (cut to 259 bytes). A byte after it
// picks the entry.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/directory_record.h"
#include "archive/entry_names.h"
#include "archive/names_setting.h"
#include "base/utf8.h"
#include "fuzz_support.h"
#include "platform/code_page.h"
#include "plugin/host_text.h"
#include "support/archive_builder.h"
#include "support/memory_streams.h"
#include "support/plugin_api.h"

namespace {

namespace fs = std::filesystem;
using kzr::Flavour;
using kzr::Status;
using kzr::fuzz::Check;
using kzr::test::Bytes;

constexpr std::uint32_t kHeaderSize = 52;
constexpr std::size_t kDataOffsetField = 0;
constexpr std::size_t kUncompressedSizeField = 20;
constexpr std::size_t kLongestPath = 2047;  // longer source paths and names are refused
constexpr std::size_t kListedNameLength = 259;
constexpr int kMaxOperations = 4;

const kzr::host::PluginApi& Plugin() { return kzr::host::LinkedPlugin(); }

// The scratch folder: the archive, its temporary files and the sources.
struct Workspace {
  std::string folder = kzr::fuzz::ScratchPath("edit");
  std::string archive = folder + "/game.kzr";
  std::string sources = folder + "/src/";  // with the separator, as the host passes it
};

const Workspace& Scratch() {
  static const Workspace workspace;
  return workspace;
}

class InputReader {
 public:
  InputReader(const std::uint8_t* data, std::size_t size) : at_(data), end_(data + size) {}

  bool empty() const { return at_ == end_; }
  std::uint8_t Byte() { return empty() ? 0 : *at_++; }
  std::uint16_t U16() {
    const std::uint8_t low = Byte();
    return static_cast<std::uint16_t>(low | Byte() << 8);
  }
  Bytes Take(std::size_t count) {
    count = std::min<std::size_t>(count, end_ - at_);
    Bytes bytes(at_, at_ + count);
    at_ += count;
    return bytes;
  }
  // Text without NUL bytes, which no name or list item can hold.
  std::string Text(std::size_t count) {
    const Bytes bytes = Take(count);
    std::string text(bytes.begin(), bytes.end());
    std::replace(text.begin(), text.end(), '\0', '_');
    return text;
  }

 private:
  const std::uint8_t* at_;
  const std::uint8_t* end_;
};

std::optional<Bytes> ReadWholeFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return std::nullopt;
  Bytes bytes;
  std::uint8_t chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) != 0;) {
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  std::fclose(file);
  return bytes;
}

// --- the archive at the start ------------------------------------------------

Bytes BuiltArchive(InputReader description, Flavour flavour, Bytes tail) {
  kzr::test::ArchiveBuilder builder(flavour);
  while (!description.empty()) {
    const std::uint8_t flags = description.Byte();
    kzr::test::RecordSpec record;
    if (flags & 1) {
      record.compressed = 1;
      record.uncompressed_size = description.Byte();
    }
    if (flags & 2) record.data_offset = description.U16();
    if (flags & 4) record.reserved_fill = 0xFFFFFFFF;
    record.name = description.Text(description.Byte());
    record.stored = description.Take(description.Byte());
    const auto stored_size = static_cast<std::uint32_t>(record.stored.size());
    (record.compressed ? record.compressed_size : record.uncompressed_size) = stored_size;
    builder.AddRecord(std::move(record));
  }
  builder.AppendToDirectory(std::move(tail));
  return builder.Build();
}

// The file to edit, or none.
std::optional<Bytes> MakeArchive(InputReader& input) {
  const std::uint8_t mode = input.Byte();
  const Flavour flavour = (mode & 8) ? Flavour::kMasked : Flavour::kPlain;
  Bytes description = input.Take(input.U16());
  switch (mode & 7) {
    case 1: {
      InputReader reader(description.data(), description.size());
      const std::size_t tail_length = reader.Byte();
      Bytes entries = reader.Take(description.size());
      Bytes tail(entries.end() - std::min(tail_length, entries.size()), entries.end());
      entries.resize(entries.size() - tail.size());
      return BuiltArchive(InputReader(entries.data(), entries.size()), flavour, std::move(tail));
    }
    case 2: return description;
    case 3: {
      InputReader reader(description.data(), description.size());
      const std::size_t data_length = reader.U16();
      const Bytes body = reader.Take(description.size());
      return kzr::test::WithHeader(
          flavour, body,
          static_cast<std::uint32_t>(kHeaderSize + std::min(data_length, body.size())));
    }
    case 4: return std::nullopt;
    default: return BuiltArchive(InputReader(description.data(), description.size()), flavour, {});
  }
}

// --- what the archive holds before an edit -----------------------------------

struct OldEntry {
  std::string name;      // as stored
  std::string reported;  // as the listing reports it, in full, with `\`
  kzr::FixedBlock fixed;
  bool copyable = false;  // its stored bytes lie inside the archive
  Bytes stored;
};

struct Snapshot {
  std::optional<Bytes> file;  // none: nothing at the path
  bool sound = false;         // opens, and its whole directory was walked
  Flavour flavour = Flavour::kMasked;
  std::vector<OldEntry> entries;
};

// The code page of stored names.
kzr::CodePage& Names() {
  static std::unique_ptr<kzr::CodePage> names;
  static const bool opened = kzr::OpenChosenCodePage(names).ok();
  Check(opened, "the names' code page does not open");
  return *names;
}

// The name the host is told, whole: in its text (converted from the names'
// code page on Linux), cleaned.
std::string ReportedName(const kzr::EntryView& entry) {
  std::string name;
  kzr::ReportedName(Names(), entry.StoredName(), name);
  return name;
}

// A name with the host's separators.
std::string HostForm(std::string name) {
  std::replace(name.begin(), name.end(), '\\', kzr::host::kAnsiSeparator);
  return name;
}

// What the host is told: the reported name cut to the field at a character
// boundary, with the host's separators.
std::string ListedForm(const std::string& reported) {
  return HostForm(reported.substr(0, kzr::utf8::CutPoint(reported, kListedNameLength)));
}

// Replacing and deleting match the names the host sees: the listing must
// report the entries that the editing matches.
void CheckListingShows(const std::vector<OldEntry>& entries) {
  std::string path = Scratch().archive;
  kzr::host::OpenArchiveRecord open{};
  open.ArchiveName = path.c_str();
  kzr::host::Handle handle = Plugin().OpenArchive(&open);
  Check(handle != nullptr, "an archive the editing reads does not open for listing");
  kzr::host::HeaderRecord record{};
  auto expected = entries.rbegin();
  while (Plugin().ReadHeader(handle, &record) == 0) {
    Check(expected != entries.rend(), "the listing reports more entries than the editing sees");
    Check(record.FileName == ListedForm(expected->reported),
          "the listing reports another name than the editing matches");
    ++expected;
  }
  Check(expected == entries.rend(), "the listing reports fewer entries than the editing sees");
  Plugin().CloseArchive(handle);
}

Snapshot TakeSnapshot() {
  Snapshot snapshot;
  snapshot.file = ReadWholeFile(Scratch().archive);
  if (!snapshot.file) return snapshot;
  std::unique_ptr<kzr::ArchiveReader> reader;
  if (kzr::ArchiveReader::Open(Scratch().archive.c_str(), reader) != Status::kOk) return snapshot;
  snapshot.sound = !reader->index().IsDamaged();
  snapshot.flavour = reader->flavour();
  const kzr::DirectoryIndex& index = reader->index();
  kzr::MemberBuffers buffers;
  for (std::size_t position = 0; position < index.EntryCount(); ++position) {
    const kzr::EntryView entry = index.EntryAt(position);
    OldEntry old{std::string(entry.Name(), entry.NameLength()), ReportedName(entry),
                 kzr::FixedBlock::CopyOf(entry)};
    kzr::test::CollectingSink sink;
    old.copyable = reader->CopyStored(entry, sink, buffers) == Status::kOk;
    old.stored = sink.bytes();
    snapshot.entries.push_back(std::move(old));
  }
  reader.reset();
  CheckListingShows(snapshot.entries);
  return snapshot;
}

// --- names ---------------------------------------------------------------------

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// How the editing compares names: `\` and `/` alike, and, where no name
// is the same, ASCII letters in any case.
std::string ExactKey(std::string name) {
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

std::string Key(std::string name) {
  name = ExactKey(std::move(name));
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return name;
}

// The entries whose reported names are `name` (or, with `prefix`, start
// with it): those exactly so, else those so in any case.
std::vector<std::size_t> Matching(const std::vector<OldEntry>& entries, const std::string& name,
                                  bool prefix) {
  std::vector<std::size_t> found;
  for (const bool folded : {false, true}) {
    const std::string key = folded ? Key(name) : ExactKey(name);
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const std::string& text = entries[i].reported;
      const std::string reported = folded ? Key(text) : ExactKey(text);
      if (prefix ? reported.starts_with(key) : reported == key) found.push_back(i);
    }
    if (!found.empty()) break;
  }
  return found;
}

// Whether `requested` is how the listing showed `reported`, cut (to 259
// bytes, or 1023 in the extended record).
bool IsCutFormOf(const std::string& reported, const std::string& requested) {
  const std::string shown = HostForm(reported);
  for (const std::size_t limit : {std::size_t{259}, std::size_t{1023}}) {
    const std::size_t cut = kzr::utf8::CutPoint(shown, limit);
    if (cut < shown.size() && HostForm(requested) == shown.substr(0, cut)) return true;
  }
  return false;
}

std::string FolderOf(const std::string& name) {
  const std::size_t last = name.find_last_of("\\/");
  return last == std::string::npos ? std::string() : name.substr(0, last + 1);
}

std::string Varied(std::string text, std::uint8_t how) {
  for (char& c : text) {
    if ((how & 4) && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (how & 8) c = c == '\\' ? '/' : c == '/' ? '\\' : c;
  }
  return text;
}

std::string PickedName(InputReader& input, const Snapshot& snapshot) {
  const std::uint8_t pick = input.Byte();
  if (snapshot.entries.empty()) return "x";
  return snapshot.entries[pick % snapshot.entries.size()].reported;
}

// The list as the host passes it: items, each with its NUL, and an empty one.
std::string HostList(const std::vector<std::string>& items) {
  std::string list;
  for (const std::string& item : items) list.append(item).push_back('\0');
  list.push_back('\0');
  return list;
}

bool IsKnownAnswer(int answer) { return answer == 0 || (answer >= 11 && answer <= 24); }

// --- checks after an edit ----------------------------------------------------

struct Expected {
  const OldEntry* kept = nullptr;  // else an added file:
  std::string name;
  Bytes member;
};

void CheckNoTemporaryFiles() {
  for (const fs::directory_entry& entry : fs::directory_iterator(Scratch().folder)) {
    Check(entry.path().filename().string().find(".kzr-tmp-") == std::string::npos,
          "a temporary file was left beside the archive");
  }
}

void CheckUnchanged(const Snapshot& before) {
  Check(ReadWholeFile(Scratch().archive) == before.file, "a failed edit changed the archive file");
}

void CheckAddedRecord(const kzr::FixedBlock& block, std::size_t member_size) {
  for (std::size_t at = 0; at < sizeof block.bytes; at += 4) {
    std::uint32_t field = 0;
    for (int i = 3; i >= 0; --i) field = field << 8 | block.bytes[at + i];
    if (at == kDataOffsetField) continue;
    Check(field == (at == kUncompressedSizeField ? member_size : 0),
          "an added file's record holds other fields than its length");
  }
}

void CheckEdited(Flavour flavour, const std::vector<Expected>& expected) {
  std::unique_ptr<kzr::ArchiveReader> reader;
  Check(kzr::ArchiveReader::Open(Scratch().archive.c_str(), reader) == Status::kOk,
        "an edit answered 0 but left no archive that opens");
  Check(!reader->index().IsDamaged(), "an edit answered 0 but left a damaged directory");
  Check(reader->flavour() == flavour, "an edit changed the archive's flavour");
  const kzr::DirectoryIndex& index = reader->index();
  Check(index.EntryCount() == expected.size(), "an edit left other entries than expected");
  Check(reader->header().EntryCount() == expected.size(), "the header counts other entries");
  std::uint64_t data_offset = kHeaderSize;
  for (std::size_t position = 0; position < expected.size(); ++position) {
    const kzr::EntryView entry = index.EntryAt(position);
    const Expected& wanted = expected[position];
    Check(entry.DataOffset() == data_offset, "members do not lie back to back from offset 52");
    data_offset += entry.StoredSize();
    const std::string name(entry.Name(), entry.NameLength());
    const kzr::FixedBlock block = kzr::FixedBlock::CopyOf(entry);
    kzr::test::CollectingSink sink;
    if (wanted.kept != nullptr) {
      Check(name == wanted.kept->name, "a kept entry changed its name or place");
      Check(std::equal(block.bytes + 4, std::end(block.bytes), wanted.kept->fixed.bytes + 4),
            "a kept entry's record fields changed");
      kzr::MemberBuffers buffers;
      Check(reader->CopyStored(entry, sink, buffers) == Status::kOk &&
                sink.bytes() == wanted.kept->stored,
            "a kept entry's stored bytes changed");
    } else {
      Check(name == wanted.name, "an added file has another name or place");
      CheckAddedRecord(block, wanted.member.size());
      kzr::MemberBuffers buffers;
      Check(reader->ReadMember(entry, &sink, buffers) == Status::kOk && sink.bytes() == wanted.member,
            "an added file does not read back as the file");
    }
  }
  Check(reader->header().DirectoryOffset() == data_offset,
        "the directory does not follow the last member");
}

// --- the edits -------------------------------------------------------------------

struct Source {
  std::string item;
  std::string path;    // source folder + item
  std::string name;    // the name it gets, in the host's text (what replacing matches)
  std::optional<std::string> stored;  // its bytes in the archive; none: the code page lacks it
  std::optional<Bytes> content;
};

// The stored form of a name in the host's text (converted into the names'
// code page on Linux), or none when it has no form there.
std::optional<std::string> InCodePage(const std::string& name) {
  std::string stored;
  if (!Names().ToStored(name, stored)) return std::nullopt;
  return stored;
}

// Items may hold anything but must not lead out of the source folder.
std::string SafeItem(std::string item) {
  if (item.empty()) return "e";
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = std::min(item.find('/', start), item.size());
    const std::string component = item.substr(start, end - start);
    if (component == "." || component == "..") item.replace(start, end - start, "_");
    start = item.find('/', start);
    if (start == std::string::npos) break;
    ++start;
  }
  return item;
}

std::string StoredName(const std::optional<std::string>& sub_path, const std::string& item) {
  std::string name = sub_path.value_or("");
  if (!name.empty() && !IsSeparator(name.back())) name += '\\';
  name += item;
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

// Writes the sources afresh and reads back what each file item will find.
void MakeSources(std::vector<Source>& sources, int operation) {
  std::error_code error;
  fs::remove_all(Scratch().sources, error);
  fs::create_directories(Scratch().sources, error);
  for (std::size_t i = 0; i < sources.size(); ++i) {
    fs::create_directories(fs::path(sources[i].path).parent_path(), error);
    Bytes content((sources[i].item.size() * 37 + i * 11 + operation) % 300);
    for (std::size_t j = 0; j < content.size(); ++j) {
      content[j] = static_cast<std::uint8_t>(j * 7 + i * 31 + operation);
    }
    if (std::FILE* file = std::fopen(sources[i].path.c_str(), "wb")) {
      std::fwrite(content.data(), 1, content.size(), file);
      std::fclose(file);
    }
  }
  for (Source& source : sources) {
    if (fs::is_regular_file(fs::symlink_status(source.path, error))) {
      source.content = ReadWholeFile(source.path);
    }
  }
}

void Pack(InputReader& input, std::uint8_t op, int operation, const Snapshot& before) {
  std::optional<std::string> sub_path;
  std::string sub_folder;  // the sub-path as a folder, with its separator
  switch (op >> 5) {
    case 1: sub_path = ""; break;
    case 2: sub_path = input.Text(input.Byte()); break;
    case 3:
    case 4: {
      sub_folder = FolderOf(PickedName(input, before));
      sub_path = (op >> 5) == 3 || sub_folder.empty() ? sub_folder
                                                      : sub_folder.substr(0, sub_folder.size() - 1);
      break;
    }
    default: break;
  }
  std::vector<std::string> items;
  std::vector<Source> files;
  const int count = ((op >> 1) & 7) + 1;
  for (int i = 0; i < count; ++i) {
    const std::uint8_t how = input.Byte();
    std::string item;
    if ((how & 3) == 0) {
      item = input.Text(input.Byte());
    } else {
      std::string name = PickedName(input, before);
      if (!sub_folder.empty() && name.starts_with(sub_folder)) name.erase(0, sub_folder.size());
      if ((how & 3) == 2) {
        name = FolderOf(name);
        if (name.empty()) name = "d\\";
      }
      if ((how & 3) == 3) name += input.Text(1);
      item = name;
    }
    item = SafeItem(Varied(item, how));
    items.push_back(item);
    if (!IsSeparator(item.back())) {
      const std::string name = StoredName(sub_path, item);
      files.push_back({item, Scratch().sources + item, name, InCodePage(name)});
    }
  }
  MakeSources(files, operation);

  // Refused before anything is read: a file's item with a `\`, which on
  // Linux is part of a file's name, and two files that would be one member.
  // One item listed twice is packed once.
  bool refused = false;
  std::unordered_map<std::string, std::string> item_of_key;
  std::vector<Source> packed;
  for (const Source& file : files) {
    refused = refused || (kzr::host::kAnsiSeparator != '\\' &&
                          file.item.find('\\') != std::string::npos);
    const auto [known, added] = item_of_key.emplace(Key(file.name), file.item);
    if (added) {
      packed.push_back(file);
    } else {
      refused = refused || known->second != file.item;
    }
  }
  files = std::move(packed);

  std::vector<bool> replaced(before.entries.size(), false);
  for (const Source& file : files) {
    for (const std::size_t i : Matching(before.entries, file.name, false)) replaced[i] = true;
  }
  std::vector<Expected> expected;
  bool must_succeed = !refused && (!before.file || before.sound);
  for (std::size_t i = 0; i < before.entries.size(); ++i) {
    const OldEntry& old = before.entries[i];
    if (replaced[i]) continue;
    expected.push_back({&old});
    must_succeed = must_succeed && old.copyable;
  }
  for (const Source& file : files) {
    expected.push_back({nullptr, file.stored.value_or(""), file.content.value_or(Bytes{})});
    must_succeed = must_succeed && file.content.has_value() && file.stored.has_value();
  }
  for (const std::string& item : items) {
    must_succeed = must_succeed && Scratch().sources.size() + item.size() <= kLongestPath &&
                   StoredName(sub_path, item).size() <= kLongestPath;
  }

  const bool move = (op & 16) != 0;
  std::string archive = Scratch().archive;
  std::string sub_text = sub_path.value_or("");
  std::string source_folder = Scratch().sources;
  std::string list = HostList(items);
  const int answer =
      Plugin().PackFiles(archive.data(), sub_path ? sub_text.data() : nullptr, source_folder.data(),
                         list.data(), move ? kzr::host::kMoveFiles : 0);
  Check(IsKnownAnswer(answer), "PackFiles answered a code the host does not know");
  CheckNoTemporaryFiles();
  if (answer != 0) {
    Check(!must_succeed, "PackFiles failed on a sound archive with readable sources");
    CheckUnchanged(before);
    for (const Source& file : files) {
      Check(!file.content || ReadWholeFile(file.path) == file.content,
            "a failed PackFiles moved or changed a source");
    }
    return;
  }
  Check(!before.file || before.sound, "PackFiles answered 0 for a file it must refuse");
  Check(!refused, "PackFiles answered 0 for names it must refuse");
  CheckEdited(before.file ? before.flavour : Flavour::kMasked, expected);
  for (const Source& file : files) {
    Check(!move || !fs::exists(fs::symlink_status(file.path)),
          "a file packed with the move flag is still there");
  }
}

void Delete(InputReader& input, std::uint8_t op, const Snapshot& before) {
  std::vector<std::string> items;
  std::vector<std::string> names;
  std::vector<std::string> folders;  // with their separator
  const int count = ((op >> 1) & 7) + 1;
  for (int i = 0; i < count; ++i) {
    const std::uint8_t how = input.Byte();
    std::string item;
    switch (how & 3) {
      case 0: item = input.Text(input.Byte()); break;
      case 1: item = PickedName(input, before); break;
      case 2: item = FolderOf(PickedName(input, before)) + "*.*"; break;
      default:
        item = PickedName(input, before);
        item += input.Text(1);
        break;
    }
    if (how & 16) item = ListedForm(item);
    item = Varied(item, how);
    if (item.empty()) item = "e";
    items.push_back(item);
    if (item.size() >= 4 && item.ends_with("*.*") && IsSeparator(item[item.size() - 4])) {
      folders.push_back(item.substr(0, item.size() - 3));
    } else {
      names.push_back(item);
    }
  }

  // A name that matches no whole name may be the listing's cut of one: it
  // deletes the entries of that whole name, and is refused when it is the
  // cut of several.
  const std::vector<OldEntry>& entries = before.entries;
  std::vector<bool> doomed(entries.size(), false);
  bool ambiguous = false;
  for (const std::string& name : names) {
    std::vector<std::size_t> found = Matching(entries, name, false);
    if (found.empty()) {
      const std::string* whole = nullptr;
      for (const OldEntry& old : entries) {
        if (!IsCutFormOf(old.reported, name)) continue;
        ambiguous = ambiguous || (whole != nullptr && *whole != old.reported);
        whole = &old.reported;
      }
      if (whole != nullptr) found = Matching(entries, *whole, false);
    }
    for (const std::size_t i : found) doomed[i] = true;
  }
  for (const std::string& folder : folders) {
    for (const std::size_t i : Matching(entries, folder, true)) doomed[i] = true;
  }
  std::vector<Expected> expected;
  bool all_kept_copyable = true;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (doomed[i]) continue;
    expected.push_back({&entries[i]});
    all_kept_copyable = all_kept_copyable && entries[i].copyable;
  }
  const bool nothing_matches = expected.size() == entries.size();
  const bool must_succeed = before.sound && !ambiguous && (nothing_matches || all_kept_copyable);

  std::string archive = Scratch().archive;
  std::string list = HostList(items);
  const int answer = Plugin().DeleteFiles(archive.data(), list.data());
  Check(IsKnownAnswer(answer), "DeleteFiles answered a code the host does not know");
  CheckNoTemporaryFiles();
  if (answer != 0) {
    Check(!must_succeed, "DeleteFiles failed on a sound archive");
    CheckUnchanged(before);
    return;
  }
  Check(before.sound, "DeleteFiles answered 0 for a file it must refuse");
  Check(!ambiguous, "DeleteFiles answered 0 for a cut name of several entries");
  if (nothing_matches) {
    CheckUnchanged(before);
  } else {
    CheckEdited(before.flavour, expected);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Workspace& scratch = Scratch();
  std::error_code error;
  fs::remove_all(scratch.folder, error);
  fs::create_directories(scratch.folder, error);
  InputReader input(data, size);
  if (const std::optional<Bytes> archive = MakeArchive(input)) {
    kzr::fuzz::WriteScratch(scratch.archive, *archive);
  }
  for (int operation = 0; operation < kMaxOperations && !input.empty(); ++operation) {
    const Snapshot before = TakeSnapshot();
    const std::uint8_t op = input.Byte();
    if (op & 1) {
      Delete(input, op, before);
    } else {
      Pack(input, op, operation, before);
    }
  }
  fs::remove_all(scratch.folder, error);
  return 0;
}
