// Opens arbitrary archives through the exports and verifies and extracts
// every entry, as the file manager's "test" and "extract" commands do.
//
// The first input byte chooses how the rest becomes an archive file:
//   bit 0 clear: the rest is the whole file, header included;
//   bit 0 set:   a u16 data length, that many data bytes, then a directory;
//                the harness adds a consistent header (flavour from bit 1),
//                so entries point at data the input controls.
// Checks: every answer comes from the set the host knows; verifying and
// extracting agree; a successful extraction writes exactly the unpacked
// size, a failed one leaves no file; progress calls come in pairs with the
// stored name, the second only on success.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "support/archive_builder.h"
#include "support/plugin_api.h"

namespace {

using kzr::fuzz::Check;
using kzr::test::Bytes;

constexpr std::size_t kHeaderSize = 52;
// Larger entries are listed but not decoded, to keep runs fast.
constexpr std::uint32_t kLargestProcessed = 4u << 20;

const kzr::host::PluginApi& Plugin() { return kzr::host::LinkedPlugin(); }

Bytes MakeFile(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return {};
  const std::uint8_t mode = data[0];
  if ((mode & 1) == 0) return Bytes(data + 1, data + size);

  std::size_t data_length = size >= 3 ? (data[1] | (data[2] << 8)) : 0;
  const std::uint8_t* body = data + (size >= 3 ? 3 : size);
  const Bytes directory_and_data(body, data + size);
  if (data_length > directory_and_data.size()) data_length = directory_and_data.size();
  return kzr::test::WithHeader((mode & 2) ? kzr::Flavour::kMasked : kzr::Flavour::kPlain,
                               directory_and_data,
                               static_cast<std::uint32_t>(kHeaderSize + data_length));
}

struct Progress {
  std::vector<std::pair<std::string, int>> calls;
};
Progress g_progress;

int KZR_API OnProgress(char* name, int size) {
  g_progress.calls.emplace_back(name, size);
  return 1;
}

long FileSize(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return -1;
  std::fseek(file, 0, SEEK_END);
  const long size = std::ftell(file);
  std::fclose(file);
  return size;
}

// Progress: the stored name and 0 first; on success, pieces that add up to
// the member (a single 0 for an empty one); nothing after a failure but what
// was done before it.
void CheckProgress(int code, std::uint32_t unpacked) {
  const auto& calls = g_progress.calls;
  if (code == 20) {
    Check(calls.empty(), "progress before a refused path");
    return;
  }
  Check(!calls.empty() && calls[0].second == 0, "first progress call is not 0");
  std::uint64_t total = 0;
  for (const auto& call : calls) {
    Check(call.first == calls[0].first, "progress reported another name");
    total += static_cast<std::uint32_t>(call.second);
  }
  Check(total <= unpacked, "progress beyond the member");
  if (code == 0) {
    Check(total == unpacked && calls.size() >= 2, "progress does not add up to the member");
  }
}

// What the host is told never leads outside its folder.
void CheckReportedName(const char* name) {
  const std::string text = name;
  Check(text.empty() || (text[0] != '\\' && text[0] != '/'), "a leading separator is reported");
  Check(text.size() < 2 || text[1] != ':' || !std::isalpha(static_cast<unsigned char>(text[0])),
        "a drive prefix is reported");
  std::size_t start = 0;
  while (!text.empty()) {
    std::size_t end = text.find_first_of("\\/", start);
    if (end == std::string::npos) end = text.size();
    const std::string component = text.substr(start, end - start);
    // A component cut short by the 259-byte limit may end anywhere; a name
    // converted to UTF-8 is cut a little earlier, at a character's start.
    const bool cut_here = end == 259 || (end == text.size() && text.size() + 4 >= 260);
    Check((!component.empty() && component != "." && component != "..") || cut_here,
          "an empty, '.' or '..' component is reported");
    if (end == text.size()) break;
    start = end + 1;
  }
}

void ProcessEntry(kzr::host::Handle handle, const kzr::host::HeaderRecord& record,
                  const std::string& output) {
  if (record.UnpSize > kLargestProcessed) return;
  std::string dest = output;

  g_progress.calls.clear();
  const int tested = Plugin().ProcessFile(handle, kzr::host::kTest, nullptr, dest.data());
  Check(tested == 0 || tested == 11 || tested == 12, "test answered outside 0, 11, 12");
  CheckProgress(tested, record.UnpSize);
  Check(FileSize(output) == -1, "the test operation wrote a file");

  g_progress.calls.clear();
  const int extracted = Plugin().ProcessFile(handle, kzr::host::kExtract, nullptr, dest.data());
  Check(extracted == tested || extracted == 11 || tested == 11,
        "extraction and verification disagree");
  CheckProgress(extracted, record.UnpSize);
  const long size = FileSize(output);
  if (extracted == 0) {
    Check(size == static_cast<long>(record.UnpSize), "extracted file has the wrong size");
  } else {
    Check(size == -1, "a failed extraction left a file");
  }
  std::remove(output.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string archive_path = kzr::fuzz::ScratchPath("extract") + ".kzr";
  static const std::string output_path = kzr::fuzz::ScratchPath("extract") + ".out";
  kzr::fuzz::WriteScratch(archive_path, MakeFile(data, size));

  kzr::host::OpenArchiveRecord open{};
  open.ArchiveName = archive_path.c_str();
  kzr::host::Handle handle = Plugin().OpenArchive(&open);
  if (handle != nullptr) {
    Plugin().SetProcessDataProc(handle, OnProgress);
    std::string early = output_path;
    Check(Plugin().ProcessFile(handle, kzr::host::kExtract, nullptr, early.data()) == 12,
          "extraction before any listing did not answer 12");
    kzr::host::HeaderRecord record{};
    int listed = 0;
    while (Plugin().ReadHeader(handle, &record) == 0 && ++listed <= 64) {
      CheckReportedName(record.FileName);
      ProcessEntry(handle, record, output_path);
    }
    Plugin().CloseArchive(handle);
  }
  std::remove(archive_path.c_str());
  return 0;
}
