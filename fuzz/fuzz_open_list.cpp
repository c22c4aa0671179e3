// Opens and lists arbitrary files through the exported entry points, as the
// file manager does, and aborts on any answer the host could not live with.
//
// The first input byte chooses how the rest becomes an archive file:
//   bits 0-1  0 or 1: the rest is the whole file, header included;
//             2: the rest is a plain-flavour directory, 3: a masked one, and
//                the harness puts a consistent header in front of it, so the
//                length checks pass and the directory walk gets the input;
//   bit 2     (directory modes only) the directory is declared to start at
//             offset 0, over the header itself, which the open must accept.
// In the directory modes the walks themselves are checked too: a plain walk
// finds the records of a byte-by-byte search for each name's NUL, and every
// record a masked walk takes lies inside the directory, its name ending at a
// NUL after its fixed block.
// The file is written to one fixed path per process, rewritten each run and
// removed after it (libFuzzer leaves without running exit handlers).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive/directory_walk.h"
#include "fuzz_support.h"
#include "support/archive_builder.h"
#include "support/plugin_api.h"

namespace {

using kzr::fuzz::Check;
using kzr::host::HeaderRecord;
using kzr::test::Bytes;

constexpr std::size_t kHeaderSize = 52;
constexpr std::size_t kSmallestRecord = 41;  // fixed block + the NUL of an empty name
constexpr std::uint8_t kUntouched = 0xAB;

std::uint32_t ReadU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The archive file every run writes.
const std::string& ScratchPath() {
  static const std::string path = kzr::fuzz::ScratchPath("open-list") + ".kzr";
  return path;
}

Bytes MakeFile(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return {};
  const std::uint8_t mode = data[0];
  Bytes body(data + 1, data + size);
  if ((mode & 2) == 0) return body;
  const std::uint32_t directory_offset = (mode & 4) ? 0 : kHeaderSize;
  return kzr::test::WithHeader((mode & 1) ? kzr::Flavour::kMasked : kzr::Flavour::kPlain, body,
                               directory_offset);
}

// The open's header rules, stated independently of the plugin's own code.
bool HeaderIsAcceptable(const Bytes& file) {
  if (file.size() < kHeaderSize) return false;
  const std::uint8_t* h = file.data();
  if (std::memcmp(h, "BIGF", 4) != 0 || h[4] > 1 || std::memcmp(h + 5, "ZBL", 3) != 0) {
    return false;
  }
  const std::uint64_t length = file.size();
  return ReadU32(h + 8) == length && std::uint64_t{ReadU32(h + 20)} + ReadU32(h + 28) == length;
}

bool HasSignature(const Bytes& file) {
  return file.size() >= 8 && std::memcmp(file.data(), "BIGF", 4) == 0 &&
         std::memcmp(file.data() + 5, "ZBL", 3) == 0;
}

HeaderRecord FreshRecord() {
  HeaderRecord record;
  std::memset(&record, kUntouched, sizeof record);
  return record;
}

bool AllBytesAre(const char* bytes, std::size_t size, char value) {
  for (std::size_t i = 0; i < size; ++i) {
    if (bytes[i] != value) return false;
  }
  return true;
}

// One reported entry: the name field is NUL-terminated at its last byte and
// NUL-filled after the name; nothing outside the three output fields changed.
void CheckReportedEntry(const HeaderRecord& record) {
  constexpr std::size_t kNameSize = sizeof record.FileName;
  Check(record.FileName[kNameSize - 1] == '\0', "name field not terminated at byte 259");
  const std::size_t name_length = strnlen(record.FileName, kNameSize);
  Check(AllBytesAre(record.FileName + name_length, kNameSize - name_length, '\0'),
        "name field not NUL-filled after the name");
  Check(AllBytesAre(record.ArchiveName, sizeof record.ArchiveName, char(kUntouched)),
        "ReadHeader wrote into the archive name field");
  Check(AllBytesAre(reinterpret_cast<const char*>(&record.Flags), sizeof record.Flags,
                    char(kUntouched)),
        "ReadHeader wrote into the flags field");
}

void CheckEndAnswer(const HeaderRecord& record, int code) {
  Check(code == 10 || code == 13, "ReadHeader answered neither 0, 10 nor 13");
  Check(AllBytesAre(reinterpret_cast<const char*>(&record), sizeof record, char(kUntouched)),
        "ReadHeader wrote into the record without reporting an entry");
}

void OpenAndList(const Bytes& file) {
  const kzr::host::PluginApi& plugin = kzr::host::LinkedPlugin();
  std::string path = ScratchPath();
  Check(plugin.CanYouHandleThisFile(path.data()) == (HasSignature(file) ? 1 : 0),
        "detection disagrees with the first eight bytes");

  kzr::host::OpenArchiveRecord open{};
  open.ArchiveName = path.c_str();
  open.OpenResult = -1;
  kzr::host::Handle handle = plugin.OpenArchive(&open);
  const int code = open.OpenResult;
  Check(code == 0 || code == 11 || code == 13 || code == 14 || code == 15,
        "open result code outside 0, 11, 13, 14, 15");
  Check((handle != nullptr) == (code == 0), "handle and open result code disagree");
  if (!HeaderIsAcceptable(file)) {
    Check(code == 14, "a header that breaks the open's rules was not refused with 14");
  } else {
    Check(code != 15, "an existing archive could not be opened");
  }
  if (handle == nullptr) return;

  const std::uint32_t directory_length = ReadU32(file.data() + 28);
  // Every record takes at least 41 bytes of the directory.
  const std::size_t most_entries = directory_length / kSmallestRecord;
  std::size_t entries = 0;
  int end_code = 0;
  for (;;) {
    HeaderRecord record = FreshRecord();
    const int answer = plugin.ReadHeader(handle, &record);
    if (answer != 0) {
      CheckEndAnswer(record, answer);
      end_code = answer;
      break;
    }
    CheckReportedEntry(record);
    Check(++entries <= most_entries, "listing ran past what the directory can hold");
  }
  Check(directory_length != 0 || (entries == 0 && end_code == 10),
        "an empty directory did not end the listing at once with 10");
  // An ended listing stays ended, with the same answer.
  for (int again = 0; again < 2; ++again) {
    HeaderRecord record = FreshRecord();
    Check(plugin.ReadHeader(handle, &record) == end_code,
          "ReadHeader changed its answer after the end");
  }
  plugin.SetProcessDataProc(handle, nullptr);
  Check(plugin.CloseArchive(handle) == 0, "CloseArchive answered other than 0");
}

// The records of a plain directory, one byte at a time: each is a 40-byte
// fixed block and a name up to the first NUL after it.
kzr::DirectoryWalk WalkPlainByBytes(const Bytes& directory,
                                    std::vector<kzr::RecordSpan>& spans) {
  std::size_t position = 0;
  while (directory.size() - position >= kSmallestRecord) {
    std::size_t nul = position + kSmallestRecord - 1;
    while (nul < directory.size() && directory[nul] != 0) ++nul;
    if (nul == directory.size()) break;
    spans.push_back({static_cast<std::uint32_t>(position),
                     static_cast<std::uint32_t>(nul - position - (kSmallestRecord - 1))});
    position = nul + 1;
  }
  return {spans.size(), position};
}

void CheckWalk(const Bytes& directory, bool masked) {
  Bytes bytes = directory;
  std::vector<kzr::RecordSpan> spans(directory.size() / kSmallestRecord);
  if (!masked) {
    std::vector<kzr::RecordSpan> expected_spans;
    const kzr::DirectoryWalk expected = WalkPlainByBytes(directory, expected_spans);
    const kzr::DirectoryWalk got = kzr::WalkPlain(bytes.data(), bytes.size(), spans.data());
    Check(got.records == expected.records && got.end == expected.end,
          "the plain walk and a byte-by-byte search disagree on where the records end");
    for (std::size_t i = 0; i < got.records; ++i) {
      Check(spans[i].fixed_block == expected_spans[i].fixed_block &&
                spans[i].name_length == expected_spans[i].name_length,
            "the plain walk and a byte-by-byte search disagree on a record");
    }
    Check(bytes == directory, "the plain walk changed the directory");
    return;
  }
  const kzr::DirectoryWalk got = kzr::WalkMasked(bytes.data(), bytes.size(), spans.data());
  Check(got.end <= bytes.size(), "the masked walk ended past the directory");
  std::size_t position = 0;
  for (std::size_t i = 0; i < got.records; ++i) {
    const std::size_t record_length = directory[position] | directory[position + 1] << 8;
    Check(spans[i].fixed_block == position + 2, "a masked record does not follow the one before");
    const std::size_t nul = position + 2 + kSmallestRecord - 1 + spans[i].name_length;
    Check(nul < position + 2 + record_length && bytes[nul] == 0 &&
              std::memchr(&bytes[position + 2 + kSmallestRecord - 1], 0, spans[i].name_length) ==
                  nullptr,
          "a masked record's name does not end at its first NUL");
    position += 2 + record_length;
  }
  Check(position == got.end, "the masked walk's records do not end where it stopped");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size != 0 && (data[0] & 2) != 0) CheckWalk(Bytes(data + 1, data + size), data[0] & 1);
  const Bytes file = MakeFile(data, size);
  kzr::fuzz::WriteScratch(ScratchPath(), file);
  OpenAndList(file);
  std::remove(ScratchPath().c_str());
  return 0;
}
