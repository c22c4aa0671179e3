#include "plugin/archive_handle.h"

#include <algorithm>
#include <new>

#include "archive/entry_names.h"
#include "archive/extraction.h"
#include "platform/files.h"

namespace kzr {

Status OpenArchiveHandle(const std::string& path, host::Face face,
                         std::unique_ptr<ArchiveHandle>& handle) {
  handle.reset(new (std::nothrow) ArchiveHandle);
  if (!handle) return Status::kNoMemory;
  Status status = handle->text.Open(face);
  if (status.ok()) status = ArchiveReader::Open(path, handle->reader);
  // What stands there but is no file (a folder, a named pipe) is no archive.
  if (status == Status::kCannotOpen && PathExists(path)) {
    const FileKind kind = KindOf(path, true);
    if (kind == FileKind::kFolder || kind == FileKind::kOther) {
      status = Status(Status::kNotAnArchive).About(path);
    }
  }
  if (!status.ok()) {
    handle.reset();
    return status;
  }
  handle->unlisted = handle->reader->index().EntryCount();
  const std::int64_t modified = handle->reader->file().modified_seconds();
#if defined(_WIN32)
  handle->time = PackedLocalTime(modified);
#else
  handle->time = static_cast<std::uint32_t>(std::clamp<std::int64_t>(modified, 0, 0xFFFFFFFF));
#endif
  return Status::kOk;
}

Status NextEntry(ArchiveHandle& handle) {
  const DirectoryIndex& index = handle.reader->index();
  if (handle.unlisted == 0) {
    return index.IsDamaged() ? Status::kDamagedArchive : Status::kNoMoreEntries;
  }
  handle.current = --handle.unlisted;
  return Status::kOk;
}

std::string ArchiveHandle::Reported() {
  std::string reported;
  ReportedName(text.names(), reader->index().EntryAt(current).StoredName(), reported);
  return reported;
}

Status ProcessCurrentEntry(ArchiveHandle& handle, int operation, const std::string& path) {
  if (operation != host::kExtract && operation != host::kTest) return Status::kOk;
  if (handle.current == ArchiveHandle::kNone) return Status::kCorruptData;  // nothing listed yet
  const ArchiveReader& reader = *handle.reader;
  const EntryView entry = reader.index().EntryAt(handle.current);
  host::HostProgress progress(handle.callbacks.Get(), handle.text);
  // The progress names the entry, not the output file.
  if (!progress.Begin(handle.Reported(), entry.UncompressedSize())) return Status::kAborted;
  const Status status = operation == host::kExtract
                            ? ExtractToFile(reader, entry, handle.buffers, path, &progress)
                            : VerifyMember(reader, entry, handle.buffers, &progress);
  // An empty member has no piece: its 0 bytes are reported once more.
  if (status.ok() && entry.UncompressedSize() == 0) progress.Report(0);
  return status;
}

}  // namespace kzr
