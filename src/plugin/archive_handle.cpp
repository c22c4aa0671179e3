#include "plugin/archive_handle.h"

#include <new>

#include "archive/format.h"
#include "plugin/name_field.h"

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

  switch (DirectoryIndex::Load(stream, handle->header, handle->index)) {
    case Status::kOk:
      break;
    case Status::kNoMemory:
      return {host::kNoMemory, nullptr};
    default:
      return {host::kBadArchive, nullptr};
  }
  return {host::kOk, std::move(handle)};
}

host::ResultCode ReadNextHeader(ArchiveHandle& handle, host::HeaderRecord& record) noexcept {
  const EntryView entry = handle.index->NextEntry();
  if (!entry) return handle.index->IsDamaged() ? host::kBadArchive : host::kEndArchive;

  record.UnpSize = entry.UncompressedSize();
  record.PackSize = entry.StoredSize();
  // The name goes out as stored, cut to 259 bytes, NUL-padded to the end of
  // the field. The walk measured it, so nothing here looks for its NUL.
  // (Last, so that nothing is kept across the call.)
  FillNameField(record.FileName, entry);
  return host::kOk;
}

}  // namespace kzr
