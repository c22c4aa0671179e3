// One open archive, as the host holds it: the handle value is this object's
// address. Owns the archive reader; keeps the host's progress callback.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "archive/archive_reader.h"
#include "base/status.h"
#include "plugin/host_interface.h"
#include "plugin/name_converter.h"

namespace kzr {

struct ArchiveHandle {
  std::unique_ptr<ArchiveReader> reader;
  host::ProcessDataProc data_proc = nullptr;
  std::uint32_t time = 0;  // the archive file's, in the host's form, reported for every entry
  host::NameConverter names;  // in the code page chosen when the archive was opened
  std::string name_buffer;    // a converted name, kept to spare allocations
};

// Opens, checks and indexes an archive, and opens the conversion of its
// names. On failure nothing stays open.
Status OpenArchiveHandle(const char* path, std::unique_ptr<ArchiveHandle>& handle);

// Copies the next entry (in listing order) into the host's record: kOk, or
// kNoMoreEntries once the list is exhausted, or kDamagedArchive when the
// directory was damaged and the intact entries before the damage have all
// been listed.
Status ReadNextHeader(ArchiveHandle& handle, host::HeaderRecord& record);

// Fills a name field (kHeaderNameSize bytes) with the name the listing
// reports for `entry`: converted, cleaned, cut to 259 bytes at a character
// boundary, in the host's form. Throws std::bad_alloc only (for a name that
// needs converting or cleaning).
void FillReportedName(ArchiveHandle& handle, const EntryView& entry, char* field);

// The length of the reported name of `entry` before it is cut.
std::size_t WholeReportedNameLength(ArchiveHandle& handle, const EntryView& entry);

inline ArchiveHandle* FromHostHandle(host::Handle handle) noexcept {
  return static_cast<ArchiveHandle*>(handle);
}

}  // namespace kzr
