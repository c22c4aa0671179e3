// Opening and listing a large archive through the exports, against the least
// any reader must do: open the file, read the directory bytes, close it.
//
// The archives hold 100,000 small members with names of 15 to 40 characters in
// a handful of folders, some under ini\dat\, in both flavours. They are built
// once per process and written to a scratch folder.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <random>
#include <string>

#include "archive/byte_order.h"
#include "archive/format.h"
#include "plugin/exports.h"
#include "support/archive_builder.h"
#include "support/temp_dir.h"

namespace {

using kzr::test::ArchiveBuilder;
using kzr::test::Bytes;
using kzr::test::Flavour;

constexpr std::size_t kEntries = 100'000;

std::string MemberName(std::mt19937& random, std::size_t serial) {
  static const char* const kFolders[] = {
      "ini\\dat\\",        "ini\\dat\\units\\", "art\\units\\",    "art\\terrain\\",
      "sound\\fx\\",       "sound\\speech\\",  "maps\\campaign\\", "scripts\\ai\\",
      "textures\\sky\\",   "ui\\",
  };
  static const char* const kExtensions[] = {".ini", ".tga", ".wav", ".map", ".txt", ".bin"};
  const std::string folder = kFolders[random() % std::size(kFolders)];
  const std::string extension = kExtensions[random() % std::size(kExtensions)];
  // The serial keeps names unique; random letters bring the whole name to
  // 15 to 40 characters.
  std::string stem = "obj" + std::to_string(serial) + "_";
  const std::size_t fixed = folder.size() + stem.size() + extension.size();
  const std::size_t shortest = fixed < 15 ? 15 : fixed;
  const std::size_t length = shortest + random() % (40 - shortest + 1);
  while (folder.size() + stem.size() + extension.size() < length) {
    stem += static_cast<char>('a' + random() % 26);
  }
  return folder + stem + extension;
}

struct BenchArchive {
  std::string path;
  std::uint32_t directory_offset = 0;
  std::uint32_t directory_length = 0;
};

BenchArchive MakeArchive(const kzr::test::TempDir& folder, Flavour flavour) {
  std::mt19937 random(20240611);
  ArchiveBuilder builder(flavour);
  for (std::size_t i = 0; i < kEntries; ++i) {
    const std::string name = MemberName(random, i);
    builder.AddFile(name, kzr::test::RandomBytes(8 + random() % 120, static_cast<std::uint32_t>(i)));
  }
  const Bytes archive = builder.Build();
  BenchArchive made;
  made.path = folder.Write(flavour == Flavour::kMasked ? "masked.kzr" : "plain.kzr", archive);
  made.directory_offset = kzr::LoadU32(archive.data() + kzr::format::kHeaderDirectoryOffset);
  made.directory_length = kzr::LoadU32(archive.data() + kzr::format::kHeaderDirectoryLength);
  return made;
}

const BenchArchive& Archive(Flavour flavour) {
  static const kzr::test::TempDir folder;
  static const BenchArchive masked = MakeArchive(folder, Flavour::kMasked);
  static const BenchArchive plain = MakeArchive(folder, Flavour::kPlain);
  return flavour == Flavour::kMasked ? masked : plain;
}

void SetCounters(benchmark::State& state, const BenchArchive& archive) {
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kEntries));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          archive.directory_length);
}

// The floor: one open, one positioned read of the whole directory, one close.
void BM_ReadDirectoryBaseline(benchmark::State& state, Flavour flavour) {
  const BenchArchive& archive = Archive(flavour);
  for (auto _ : state) {
    std::FILE* file = std::fopen(archive.path.c_str(), "rb");
    if (file == nullptr) {
      state.SkipWithError("cannot open the archive");
      return;
    }
    std::unique_ptr<std::uint8_t[]> bytes(new std::uint8_t[archive.directory_length]);
    std::fseek(file, static_cast<long>(archive.directory_offset), SEEK_SET);
    const std::size_t got = std::fread(bytes.get(), 1, archive.directory_length, file);
    std::fclose(file);
    if (got != archive.directory_length) {
      state.SkipWithError("short read");
      return;
    }
    benchmark::DoNotOptimize(bytes.get());
    benchmark::ClobberMemory();
  }
  SetCounters(state, archive);
}

// What the host does to show the archive: open, read every header, close.
void BM_OpenAndList(benchmark::State& state, Flavour flavour) {
  const BenchArchive& archive = Archive(flavour);
  std::string path = archive.path;
  for (auto _ : state) {
    kzr::host::OpenArchiveRecord open{};
    open.ArchiveName = path.c_str();
    kzr::host::ArchiveHandle handle = OpenArchive(&open);
    if (handle == nullptr) {
      state.SkipWithError("the archive did not open");
      return;
    }
    kzr::host::HeaderRecord record;
    std::size_t listed = 0;
    while (ReadHeader(handle, &record) == 0) {
      benchmark::DoNotOptimize(record);
      ++listed;
    }
    CloseArchive(handle);
    if (listed != kEntries) {
      state.SkipWithError("the listing is incomplete");
      return;
    }
  }
  SetCounters(state, archive);
}

// The open alone (header checks, directory read, unmask and walk) and the
// close, without the listing: set against BM_OpenAndList it shows where the
// time goes.
void BM_OpenOnly(benchmark::State& state, Flavour flavour) {
  const BenchArchive& archive = Archive(flavour);
  std::string path = archive.path;
  for (auto _ : state) {
    kzr::host::OpenArchiveRecord open{};
    open.ArchiveName = path.c_str();
    kzr::host::ArchiveHandle handle = OpenArchive(&open);
    if (handle == nullptr) {
      state.SkipWithError("the archive did not open");
      return;
    }
    CloseArchive(handle);
  }
  SetCounters(state, archive);
}

BENCHMARK_CAPTURE(BM_ReadDirectoryBaseline, masked, Flavour::kMasked)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OpenOnly, masked, Flavour::kMasked)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OpenAndList, masked, Flavour::kMasked)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadDirectoryBaseline, plain, Flavour::kPlain)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OpenOnly, plain, Flavour::kPlain)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OpenAndList, plain, Flavour::kPlain)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
