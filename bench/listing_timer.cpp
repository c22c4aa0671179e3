// Open + full listing of 100,000 entries through the exports, beside a plain
// read of the same directory bytes, timed in one process: for builds without
// Google Benchmark, above all the real 32-bit DLL, which the Windows build of
// this program loads as the host does (natively the exports are linked in). Each round times every step once per flavour,
// interleaved; the medians over the rounds are printed, with the ratio of
// open + list to the read.
//
//   listing_timer [rounds]      (default 21, after 3 rounds not counted)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "listing_archive.h"
#include "support/plugin_under_test.h"

namespace {

using kzr::bench::ListingArchive;
using kzr::test::Flavour;
using Clock = std::chrono::steady_clock;

// One open, one positioned read of the whole directory, one close: the least
// any reader must do.
bool ReadDirectory(const ListingArchive& archive) {
  std::FILE* file = std::fopen(archive.path.c_str(), "rb");
  if (file == nullptr) return false;
  std::unique_ptr<std::uint8_t[]> bytes(new (std::nothrow) std::uint8_t[archive.directory_length]);
  const bool read = bytes && std::fseek(file, static_cast<long>(archive.directory_offset), SEEK_SET) == 0 &&
                    std::fread(bytes.get(), 1, archive.directory_length, file) ==
                        archive.directory_length;
  std::fclose(file);
  return read;
}

// What the host does to show the archive: open, read every header, close.
bool OpenAndList(const ListingArchive& archive, bool list) {
  kzr::host::OpenArchiveRecord open{};
  open.ArchiveName = archive.path.c_str();
  const kzr::test::PluginApi& plugin = kzr::test::Plugin();
  kzr::host::Handle handle = plugin.OpenArchive(&open);
  if (handle == nullptr) return false;
  std::size_t listed = 0;
  if (list) {
    kzr::host::HeaderRecord record;
    while (plugin.ReadHeader(handle, &record) == 0) ++listed;
  }
  plugin.CloseArchive(handle);
  return !list || listed == kzr::bench::kListingEntries;
}

template <typename Step>
double Milliseconds(Step step) {
  const Clock::time_point start = Clock::now();
  if (!step()) {
    std::fprintf(stderr, "a step failed\n");
    std::exit(1);
  }
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  const std::size_t middle = samples.size() / 2;
  return samples.size() % 2 == 1 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
  constexpr int kWarmUpRounds = 3;
  const kzr::test::TempDir folder;
  const ListingArchive archives[] = {kzr::bench::WriteListingArchive(folder, Flavour::kMasked),
                                     kzr::bench::WriteListingArchive(folder, Flavour::kPlain)};
  const char* const names[] = {"masked", "plain"};

  std::vector<double> read[2], open[2], listing[2];
  for (int round = 0; round < kWarmUpRounds + rounds; ++round) {
    for (int flavour = 0; flavour < 2; ++flavour) {
      const ListingArchive& archive = archives[flavour];
      const double read_ms = Milliseconds([&] { return ReadDirectory(archive); });
      const double open_ms = Milliseconds([&] { return OpenAndList(archive, false); });
      const double listing_ms = Milliseconds([&] { return OpenAndList(archive, true); });
      if (round < kWarmUpRounds) continue;
      read[flavour].push_back(read_ms);
      open[flavour].push_back(open_ms);
      listing[flavour].push_back(listing_ms);
    }
  }

  std::printf("%zu entries, medians of %d rounds\n", kzr::bench::kListingEntries, rounds);
  // "beyond read": what opening and listing cost on top of the read.
  std::printf("%-8s %14s %10s %16s %14s %12s\n", "flavour", "read dir (ms)", "open (ms)",
              "open+list (ms)", "beyond read", "list / read");
  for (int flavour = 0; flavour < 2; ++flavour) {
    const double read_ms = Median(read[flavour]);
    const double listing_ms = Median(listing[flavour]);
    std::printf("%-8s %14.3f %10.3f %16.3f %14.3f %12.2f\n", names[flavour], read_ms,
                Median(open[flavour]), listing_ms, listing_ms - read_ms, listing_ms / read_ms);
  }
  return 0;
}
