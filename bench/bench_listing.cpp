// Opening and listing a large archive through the exports, against the least
// any reader must do: open the file, read the directory bytes, close it.
//
// The archives (listing_archive.h) are built once per process.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "listing_archive.h"
#include "plugin/exports.h"

namespace {

using kzr::bench::kListingEntries;
using kzr::test::Flavour;
using BenchArchive = kzr::bench::ListingArchive;

const BenchArchive& Archive(Flavour flavour) {
  static const kzr::test::TempDir folder;
  static const BenchArchive masked = kzr::bench::WriteListingArchive(folder, Flavour::kMasked);
  static const BenchArchive plain = kzr::bench::WriteListingArchive(folder, Flavour::kPlain);
  return flavour == Flavour::kMasked ? masked : plain;
}

void SetCounters(benchmark::State& state, const BenchArchive& archive) {
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kListingEntries));
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
    kzr::host::Handle handle = OpenArchive(&open);
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
    if (listed != kListingEntries) {
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
    kzr::host::Handle handle = OpenArchive(&open);
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
