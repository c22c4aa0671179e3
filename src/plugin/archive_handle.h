// One open archive, as the host holds it: the handle value is this object's
// address. Owns the archive stream, the header copy and the directory index.
#pragma once

#include <memory>

#include "archive/archive_header.h"
#include "archive/directory_index.h"
#include "archive/file_stream.h"
#include "plugin/host_interface.h"

namespace kzr {

struct ArchiveHandle {
  FilePtr stream;
  ArchiveHeader header;
  std::unique_ptr<DirectoryIndex> index;
  host::ProcessDataProc data_proc = nullptr;
};

struct OpenResult {
  host::ResultCode code;
  std::unique_ptr<ArchiveHandle> handle;  // set exactly when code is kOk
};

// Opens, checks and indexes an archive. On failure nothing stays open.
OpenResult OpenArchiveFile(const char* path) noexcept;

// Copies the next entry (in listing order) into the host's record: kOk, or
// kEndArchive once the list is exhausted, or kBadArchive when the directory
// was damaged and the intact entries before the damage have all been listed.
host::ResultCode ReadNextHeader(ArchiveHandle& handle, host::HeaderRecord& record) noexcept;

inline ArchiveHandle* FromHostHandle(host::ArchiveHandle handle) noexcept {
  return static_cast<ArchiveHandle*>(handle);
}

}  // namespace kzr
