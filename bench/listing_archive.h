// The archive that the listing benchmarks open: 100,000 small members with
// names of 15 to 40 characters in a handful of folders, some under ini\dat\,
// in either flavour, written once to a scratch folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "support/archive_builder.h"
#include "support/temp_dir.h"

namespace kzr::bench {

inline constexpr std::size_t kListingEntries = 100'000;

struct ListingArchive {
  std::string path;
  std::uint32_t directory_offset = 0;
  std::uint32_t directory_length = 0;
};

ListingArchive WriteListingArchive(const test::TempDir& folder, test::Flavour flavour);

}  // namespace kzr::bench
