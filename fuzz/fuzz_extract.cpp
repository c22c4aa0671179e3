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
#include "plugin/exports.h"

namespace {

using kzr::fuzz::Check;

constexpr std::size_t kHeaderSize = 52;
// Larger entries are listed but not decoded, to keep runs fast.
constexpr std::uint32_t kLargestProcessed = 4u << 20;

void PutU32(std::uint8_t* p, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::vector<std::uint8_t> MakeFile(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return {};
  const std::uint8_t mode = data[0];
  if ((mode & 1) == 0) return std::vector<std::uint8_t>(data + 1, data + size);

  std::size_t data_length = size >= 3 ? (data[1] | (data[2] << 8)) : 0;
  const std::uint8_t* body = data + (size >= 3 ? 3 : size);
  const std::size_t body_size = size - static_cast<std::size_t>(body - data);
  if (data_length > body_size) data_length = body_size;
  std::vector<std::uint8_t> file(kHeaderSize, 0);
  file.insert(file.end(), body, body + body_size);
  std::memcpy(file.data(), "BIGF", 4);
  file[4] = (mode >> 1) & 1;
  std::memcpy(file.data() + 5, "ZBL", 3);
  const auto length = static_cast<std::uint32_t>(file.size());
  const auto directory_offset = static_cast<std::uint32_t>(kHeaderSize + data_length);
  PutU32(file.data() + 8, length);
  PutU32(file.data() + 20, directory_offset);
  PutU32(file.data() + 28, length - directory_offset);
  return file;
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

void CheckProgress(const char* name, int code, std::uint32_t unpacked) {
  const auto& calls = g_progress.calls;
  Check(calls.size() == (code == 0 ? 2u : 1u) || (code == 20 && calls.empty()),
        "progress calls do not match the outcome");
  // The listed name may be the stored one cut to 259 bytes.
  const std::size_t listed = std::strlen(name);
  for (const auto& call : calls) {
    Check(call.first.compare(0, listed, name) == 0 && (listed == 259 || call.first.size() == listed),
          "progress reported another name");
  }
  if (!calls.empty()) Check(calls[0].second == 0, "first progress call is not 0");
  if (code == 0) Check(calls[1].second == static_cast<int>(unpacked), "second progress call");
}

void ProcessEntry(kzr::host::ArchiveHandle handle, const kzr::host::HeaderRecord& record,
                  const std::string& output) {
  if (record.UnpSize > kLargestProcessed) return;
  std::string dest = output;

  g_progress.calls.clear();
  const int tested = ProcessFile(handle, kzr::host::kTest, nullptr, dest.data());
  Check(tested == 0 || tested == 11 || tested == 12, "test answered outside 0, 11, 12");
  CheckProgress(record.FileName, tested, record.UnpSize);
  Check(FileSize(output) == -1, "the test operation wrote a file");

  g_progress.calls.clear();
  const int extracted = ProcessFile(handle, kzr::host::kExtract, nullptr, dest.data());
  Check(extracted == tested || extracted == 11 || tested == 11,
        "extraction and verification disagree");
  CheckProgress(record.FileName, extracted, record.UnpSize);
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
  kzr::host::ArchiveHandle handle = OpenArchive(&open);
  if (handle != nullptr) {
    SetProcessDataProc(handle, OnProgress);
    std::string early = output_path;
    Check(ProcessFile(handle, kzr::host::kExtract, nullptr, early.data()) == 12,
          "extraction before any listing did not answer 12");
    kzr::host::HeaderRecord record{};
    int listed = 0;
    while (ReadHeader(handle, &record) == 0 && ++listed <= 64) {
      ProcessEntry(handle, record, output_path);
    }
    CloseArchive(handle);
  }
  std::remove(archive_path.c_str());
  return 0;
}
