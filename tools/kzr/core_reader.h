// What the exports do not tell: the header's fields and each entry's
// "compressed" flag, read with the archive core (the same parsing code the
// plugin uses), read-only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_header.h"
#include "archive_session.h"

namespace kzr::cli {

struct CoreEntry {
  std::string name;  // the whole stored name, as the directory holds it
  std::uint32_t packed = 0;
  std::uint32_t unpacked = 0;
  bool compressed = false;
};

struct CoreArchive {
  ArchiveHeader header{};
  std::vector<CoreEntry> entries;  // in listing order, as ReadHeader reports them
  bool damaged = false;
};

// Nothing when the file cannot be read or is not an acceptable archive.
std::optional<CoreArchive> ReadWithCore(const std::string& path);

// Whether the core's entries are the plugin's, one for one (same sizes, and
// names equal up to the separator and the plugin's 259-byte cut), so that the
// core's details may be shown beside the plugin's listing.
bool SameEntries(const CoreArchive& core, const Listing& listing);

}  // namespace kzr::cli
