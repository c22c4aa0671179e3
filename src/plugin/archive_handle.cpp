#include "plugin/archive_handle.h"

#include <new>

#include "plugin/host_names.h"
#include "plugin/name_field.h"
#include "plugin/platform_files.h"

namespace kzr {
namespace {

// What a listed entry is, as the host sees files: a normal file.
#if defined(_WIN32)
constexpr std::uint32_t kFileAttributes = 0x20;  // FILE_ATTRIBUTE_ARCHIVE
#else
constexpr std::uint32_t kFileAttributes = 0100644;  // a regular file, rw-r--r--
#endif

}  // namespace

Status OpenArchiveHandle(const char* path, std::unique_ptr<ArchiveHandle>& handle) noexcept {
  handle.reset(new (std::nothrow) ArchiveHandle);
  if (!handle) return Status::kNoMemory;
  const Status status = ArchiveReader::Open(path, handle->reader);
  if (status != Status::kOk) {
    handle.reset();
    return status;
  }
  handle->time = HostModificationTime(handle->reader->file());
  return Status::kOk;
}

Status ReadNextHeader(ArchiveHandle& handle, host::HeaderRecord& record) noexcept {
  DirectoryIndex& index = handle.reader->index();
  const EntryView entry = index.NextEntry();
  if (!entry) return index.IsDamaged() ? Status::kDamagedArchive : Status::kNoMoreEntries;

  record.UnpSize = entry.UncompressedSize();
  record.PackSize = entry.StoredSize();
  record.FileTime = handle.time;
  record.FileAttr = kFileAttributes;
  // The name goes out cut to 259 bytes, NUL-padded to the end of the field;
  // the walk measured it. A name that could lead outside the host's folder
  // is reported without the parts that would.
  if (!FillNameField(record.FileName, entry)) {
    char clean[host::kHeaderNameSize];
    const std::size_t length =
        host::CleanName(entry.Name(), entry.NameLength(), clean, sizeof clean - 1);
    FillNameFieldScalar(record.FileName, clean, length, length);
  }
  return Status::kOk;
}

}  // namespace kzr
