#include "plugin/archive_handle.h"

#include <algorithm>
#include <new>

#include "archive/entry_names.h"
#include "archive/extraction.h"
#include "platform/paths.h"

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

const std::string& ArchiveHandle::Reported() {
  if (reported_for != current) {
    ReportedName(text.names(), reader->index().EntryAt(current).StoredName(), reported);
    reported_for = current;
  }
  return reported;
}

namespace {

// The host's progress for one entry: its name before, then each piece; an
// empty member, which has no piece, reports its 0 bytes once more at the
// end.
class EntryProgress final : public Progress {
 public:
  EntryProgress(host::HostProgress& host) noexcept : host_(host) {}
  bool Begin(std::string_view name, std::uint64_t size) override { return host_.Begin(name, size); }
  bool Advance(std::uint64_t bytes) override {
    advanced_ = true;
    return host_.Advance(bytes);
  }
  void Finish() {
    if (!advanced_) host_.Report(0);
  }

 private:
  host::HostProgress& host_;
  bool advanced_ = false;
};

}  // namespace

Status ProcessCurrentEntry(ArchiveHandle& handle, int operation, const std::string& path) {
  if (operation != host::kExtract && operation != host::kTest) return Status::kOk;
  if (handle.current == ArchiveHandle::kNone) return Status::kCorruptData;  // nothing listed yet
  const ArchiveReader& reader = *handle.reader;
  const EntryView entry = reader.index().EntryAt(handle.current);
  host::HostProgress host(handle.callbacks.Get(), handle.text);
  EntryProgress progress(host);
  Status status;
  // The progress names the entry, not the output file.
  if (!progress.Begin(handle.Reported(), entry.UncompressedSize())) return Status::kAborted;
  if (operation == host::kExtract) {
    status = ExtractToFile(reader, entry, handle.buffers, path, &progress);
  } else {
    status = VerifyMember(reader, entry, handle.buffers, &progress);
  }
  if (status.ok()) progress.Finish();
  return status;
}

}  // namespace kzr
