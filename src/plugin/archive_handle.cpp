#include "plugin/archive_handle.h"

#include <cstring>
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

host::ResultCode ReadNextHeader(ArchiveHandle& handle, host::HeaderRecord& record) noexcept {
  const EntryView entry = handle.index->NextEntry();
  if (!entry) return handle.index->IsDamaged() ? host::kBadArchive : host::kEndArchive;

  // The name goes out as stored, cut to 259 bytes, NUL-padded to the end of
  // the field.
  const char* name = entry.Name();
  const void* nul = std::memchr(name, 0, host::kHeaderNameSize - 1);
  const std::size_t length = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - name)
                                 : host::kHeaderNameSize - 1;
  std::memcpy(record.FileName, name, length);
  std::memset(record.FileName + length, 0, host::kHeaderNameSize - length);
  record.UnpSize = entry.UncompressedSize();
  record.PackSize = entry.StoredSize();
  return host::kOk;
}

}  // namespace kzr
