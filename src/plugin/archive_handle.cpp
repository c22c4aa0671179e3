#include "plugin/archive_handle.h"

#include <new>

#include "plugin/host_names.h"
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
  Status status = handle->names.Open();
  if (status == Status::kOk) status = ArchiveReader::Open(path, handle->reader);
  if (status != Status::kOk) {
    handle.reset();
    return status;
  }
  handle->time = HostModificationTime(handle->reader->file());
  return Status::kOk;
}

static_assert(name_field::kSize == host::kHeaderNameSize);

bool FillReportedName(ArchiveHandle& handle, const EntryView& entry, char* field) noexcept {
  const DirectoryIndex& index = handle.reader->index();
  // The name goes out cut to 259 bytes, NUL-padded to the end of the field.
  // A name that could lead outside the host's folder is reported without the
  // parts that would.
  if (!handle.names.KeepsAsIs(entry.Name(), entry.NameLength())) {
    try {
      host::ReportedName(handle.names, {entry.Name(), entry.NameLength()}, handle.name_buffer);
    } catch (const std::bad_alloc&) {
      return false;
    }
    const std::string& name = handle.name_buffer;
    const std::size_t length =
        host::Utf8CutPoint(name.data(), name.size(), host::kHeaderNameSize - 1);
    name_field::Fill(field, name.data(), length, length);
  } else if (host::IsCleanName(entry.Name(), entry.NameLength())) {
    index.FillNameField(entry, field);  // the walk measured it
  } else {
    char clean[host::kHeaderNameSize];
    const std::size_t length =
        host::CleanName(entry.Name(), entry.NameLength(), clean, sizeof clean - 1);
    name_field::Fill(field, clean, length, length);
  }
  host::ToHostSeparators(field, host::kHeaderNameSize);
  return true;
}

std::size_t WholeReportedNameLength(ArchiveHandle& handle, const EntryView& entry) {
  host::ReportedName(handle.names, {entry.Name(), entry.NameLength()}, handle.name_buffer);
  return handle.name_buffer.size();
}

host::ResultCode ReadNextHeader(ArchiveHandle& handle, host::HeaderRecord& record) noexcept {
  DirectoryIndex& index = handle.reader->index();
  const EntryView entry = index.NextEntry();
  if (!entry) return index.IsDamaged() ? host::kBadArchive : host::kEndArchive;

  record.UnpSize = entry.UncompressedSize();
  record.PackSize = entry.StoredSize();
  record.FileTime = handle.time;
  record.FileAttr = kFileAttributes;
  if (!FillReportedName(handle, entry, record.FileName)) return host::kNoMemory;
  return host::kOk;
}

}  // namespace kzr
