#include "core_reader.h"

#include <algorithm>

#include "archive/archive_reader.h"
#include "plugin/host_interface.h"

namespace kzr::cli {
namespace {

bool SameName(const std::string& stored, const std::string& listed) {
  const std::size_t shown = std::min(stored.size(), host::kHeaderNameSize - 1);
  if (listed.size() != shown) return false;
  for (std::size_t i = 0; i < shown; ++i) {
    const char a = stored[i] == '/' ? '\\' : stored[i];
    const char b = listed[i] == '/' ? '\\' : listed[i];
    if (a != b) return false;
  }
  return true;
}

}  // namespace

std::optional<CoreArchive> ReadWithCore(const std::string& path) {
  std::unique_ptr<ArchiveReader> reader;
  if (ArchiveReader::Open(path.c_str(), reader) != Status::kOk) return std::nullopt;
  CoreArchive archive;
  archive.header = reader->header();
  DirectoryIndex& index = reader->index();
  archive.entries.reserve(index.EntryCount());
  index.ResetCursor();
  while (const EntryView entry = index.NextEntry()) {
    archive.entries.push_back(
        {entry.Name(), entry.StoredSize(), entry.UncompressedSize(), entry.IsCompressed()});
  }
  archive.damaged = index.IsDamaged();
  return archive;
}

bool SameEntries(const CoreArchive& core, const Listing& listing) {
  if (core.entries.size() != listing.entries.size()) return false;
  for (std::size_t i = 0; i < core.entries.size(); ++i) {
    const CoreEntry& a = core.entries[i];
    const ListedEntry& b = listing.entries[i];
    if (a.packed != b.packed || a.unpacked != b.unpacked || !SameName(a.name, b.name)) return false;
  }
  return true;
}

}  // namespace kzr::cli
