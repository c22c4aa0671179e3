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

// Whether names other than ASCII are converted for the host (see
// NameConverter::KeepsAsIs): on Linux, not on Windows.
#if defined(_WIN32)
constexpr bool kNamesConverted = false;
#else
constexpr bool kNamesConverted = true;
#endif

}  // namespace

Status OpenArchiveHandle(const char* path, std::unique_ptr<ArchiveHandle>& handle) {
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

namespace {

// A name to convert, to clean or to cut between two-byte characters:
// reported as the matching of names sees it, and cut at a character
// boundary. Apart from the common case, which then needs no registers
// kept across a call.
[[gnu::noinline]] void FillUncommonName(ArchiveHandle& handle, const EntryView& entry,
                                        char* field) {
  std::string& name = handle.name_buffer;
  host::ReportedName(handle.names, {entry.Name(), entry.NameLength()}, name);
  name.resize(host::ListedLength(name));
  FillNameFieldCleaned(field, name.data(), name.size());
}

}  // namespace

void FillReportedName(ArchiveHandle& handle, const EntryView& entry, char* field) {
  // The common case, in one pass: a name the host takes as it is stored
  // (ASCII, or any name on Windows) with nothing to clean. It may take the
  // second byte of a two-byte character for a separator, which only makes
  // it doubt a clean name and ask the exact test; but a name to cut must
  // be cut between characters.
  const bool cut_between_characters =
      host::HasLeadBytes() && entry.NameLength() >= host::kHeaderNameSize;
  if (cut_between_characters || !FillNameField(field, entry, kNamesConverted)) {
    FillUncommonName(handle, entry, field);
  }
}

std::size_t WholeReportedNameLength(ArchiveHandle& handle, const EntryView& entry) {
  host::ReportedName(handle.names, {entry.Name(), entry.NameLength()}, handle.name_buffer);
  return handle.name_buffer.size();
}

Status ReadNextHeader(ArchiveHandle& handle, host::HeaderRecord& record) {
  DirectoryIndex& index = handle.reader->index();
  const EntryView entry = index.NextEntry();
  if (!entry) return index.IsDamaged() ? Status::kDamagedArchive : Status::kNoMoreEntries;

  record.UnpSize = entry.UncompressedSize();
  record.PackSize = entry.StoredSize();
  record.FileTime = handle.time;
  record.FileAttr = kFileAttributes;
  FillReportedName(handle, entry, record.FileName);
  return Status::kOk;
}

}  // namespace kzr
