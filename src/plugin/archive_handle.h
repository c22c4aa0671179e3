// One open archive, as the host holds it: the handle value is this object's
// address. A reader of the archive, the listing's cursor (entries are listed
// from the last record back), the face's text, and the host's callback.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "archive/archive_reader.h"
#include "archive/entry_names.h"
#include "base/status.h"
#include "plugin/host_interface.h"
#include "plugin/host_progress.h"
#include "plugin/host_text.h"

namespace kzr {

// What a listed entry is, as the host sees files: a normal file.
#if defined(_WIN32)
inline constexpr std::uint32_t kFileAttributes = 0x20;  // FILE_ATTRIBUTE_ARCHIVE
#else
inline constexpr std::uint32_t kFileAttributes = 0100644;  // a regular file, rw-r--r--
#endif

struct ArchiveHandle {
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  host::HostText text;
  std::unique_ptr<ArchiveReader> reader;
  MemberBuffers buffers;
  std::size_t unlisted = 0;  // entries still to be listed
  std::size_t current = kNone;
  host::Callbacks callbacks;
  std::uint32_t time = 0;  // the archive file's, in the host's form, for every entry

  // The current entry's reported name.
  std::string Reported();
};

// Opens, checks and indexes an archive for the face. On failure nothing
// stays open.
Status OpenArchiveHandle(const std::string& path, host::Face face,
                         std::unique_ptr<ArchiveHandle>& handle);

// Makes the next entry (in listing order) the current one: kOk, or
// kNoMoreEntries once the list is exhausted, or kDamagedArchive when the
// directory was damaged and the intact entries before the damage have all
// been listed.
Status NextEntry(ArchiveHandle& handle);

// Fills the fields of a header record (any of the three kinds) with the
// current entry.
template <typename Record>
void FillHeader(ArchiveHandle& handle, Record& record, std::size_t name_size) {
  const EntryView entry = handle.reader->index().EntryAt(handle.current);
  record.UnpSize = entry.UncompressedSize();
  record.PackSize = entry.StoredSize();
  record.FileTime = handle.time;
  record.FileAttr = kFileAttributes;
  // Most names are ASCII and clean: their stored bytes are their text.
  if (!handle.text.FillPlain(entry.StoredName(), record.FileName, name_size)) {
    handle.text.Fill(handle.Reported(), record.FileName, name_size);
  }
}

// Extracts (operation 2) or tests (1) the current entry; the destination
// path is joined from the host's two parts. Every other operation does
// nothing.
Status ProcessCurrentEntry(ArchiveHandle& handle, int operation, const std::string& path);

inline ArchiveHandle* FromHostHandle(host::Handle handle) noexcept {
  return static_cast<ArchiveHandle*>(handle);
}

}  // namespace kzr
