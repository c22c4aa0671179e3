#include "plugin/archive_handle.h"

#include <new>

#include "archive/format.h"

namespace kzr {

OpenResult OpenArchiveFile(const char* path) noexcept {
  std::unique_ptr<ArchiveHandle> handle(new (std::nothrow) ArchiveHandle);
  if (!handle) return {host::kNoMemory, nullptr};
  if (path == nullptr) return {host::kOpenError, nullptr};

  handle->stream = OpenFile(path, "rb");
  if (!handle->stream) return {host::kOpenError, nullptr};
  std::FILE* stream = handle->stream.get();

  const std::size_t header_bytes =
      std::fread(handle->header.bytes, 1, format::kHeaderSize, stream);
  const std::optional<std::uint64_t> length = SeekToEnd(stream);
  if (!length || *length > format::kMaxArchiveLength ||
      !IsAcceptableHeader(handle->header, header_bytes, *length)) {
    return {host::kUnknownFormat, nullptr};
  }

  DirectoryIndex::LoadResult loaded = DirectoryIndex::Load(stream, handle->header);
  switch (loaded.status) {
    case DirectoryIndex::LoadStatus::kOk:
      break;
    case DirectoryIndex::LoadStatus::kNoMemory:
      return {host::kNoMemory, nullptr};
    case DirectoryIndex::LoadStatus::kReadError:
      return {host::kBadArchive, nullptr};
  }
  handle->index = std::move(loaded.index);
  return {host::kOk, std::move(handle)};
}

static_assert(name_field::kSize == host::kHeaderNameSize);

host::ResultCode ReadNextHeader(ArchiveHandle& handle, host::HeaderRecord& record) noexcept {
  const EntryView entry = handle.index->NextEntry();
  if (!entry) return handle.index->IsDamaged() ? host::kBadArchive : host::kEndArchive;

  record.UnpSize = entry.UncompressedSize();
  record.PackSize = entry.StoredSize();
  // The name goes out as stored, cut to 259 bytes, NUL-padded to the end of
  // the field. The walk measured it, so nothing here looks for its NUL.
  // (Last, so that nothing is kept across the call.)
  handle.index->FillNameField(entry, record.FileName);
  return host::kOk;
}

}  // namespace kzr
