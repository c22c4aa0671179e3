#include "core_reader.h"

#include <algorithm>
#include <memory>

#include "archive/directory_index.h"
#include "archive/file_stream.h"
#include "archive/format.h"
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
  FilePtr stream = OpenFile(path.c_str(), "rb");
  if (!stream) return std::nullopt;
  CoreArchive archive;
  const std::size_t header_bytes =
      std::fread(archive.header.bytes, 1, format::kHeaderSize, stream.get());
  const std::optional<std::uint64_t> length = SeekToEnd(stream.get());
  if (!length || *length > format::kMaxArchiveLength ||
      !IsAcceptableHeader(archive.header, header_bytes, *length)) {
    return std::nullopt;
  }
  std::unique_ptr<DirectoryIndex> loaded;
  if (DirectoryIndex::Load(stream.get(), archive.header, loaded) != Status::kOk) {
    return std::nullopt;
  }
  DirectoryIndex& index = *loaded;
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
