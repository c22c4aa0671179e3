// One open archive, as the host holds it: the handle value is this object's
// address. Owns the archive reader; keeps the host's progress callback.
#pragma once

#include <cstdint>
#include <memory>

#include "archive/archive_reader.h"
#include "base/status.h"
#include "plugin/host_interface.h"

namespace kzr {

struct ArchiveHandle {
  std::unique_ptr<ArchiveReader> reader;
  host::ProcessDataProc data_proc = nullptr;
  std::uint32_t time = 0;  // the archive file's, in the host's form, reported for every entry
};

// Opens, checks and indexes an archive. On failure nothing stays open.
Status OpenArchiveHandle(const char* path, std::unique_ptr<ArchiveHandle>& handle) noexcept;

// Copies the next entry (in listing order) into the host's record: kOk, or
// kNoMoreEntries once the list is exhausted, or kDamagedArchive when the
// directory was damaged and the intact entries before the damage have all
// been listed.
Status ReadNextHeader(ArchiveHandle& handle, host::HeaderRecord& record) noexcept;

inline ArchiveHandle* FromHostHandle(host::ArchiveHandle handle) noexcept {
  return static_cast<ArchiveHandle*>(handle);
}

}  // namespace kzr
