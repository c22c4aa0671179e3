#include "archive_session.h"

#include <cstring>

#include "archive/archive_reader.h"

namespace kzr::cli {

std::unique_ptr<ArchiveSession> ArchiveSession::Open(const host::PluginApi& api,
                                                     const std::string& path, int& code) {
  host::OpenArchiveRecord record{};
  record.ArchiveName = path.c_str();
  record.OpenResult = host::kOpenError;
  host::ArchiveHandle handle = api.OpenArchive(&record);
  code = record.OpenResult;
  if (handle == nullptr) {
    if (code == host::kOk) code = host::kOpenError;
    return nullptr;
  }
  return std::unique_ptr<ArchiveSession>(new ArchiveSession(api, handle));
}

ArchiveSession::~ArchiveSession() { api_.CloseArchive(handle_); }

void ArchiveSession::SetProcessDataProc(host::ProcessDataProc proc) {
  api_.SetProcessDataProc(handle_, proc);
}

const ArchiveReader* ArchiveSession::reader() const {
  return api_.ReaderOf != nullptr ? api_.ReaderOf(handle_) : nullptr;
}

int ArchiveSession::Next(ListedEntry& entry) {
  host::HeaderRecord record{};
  const int code = api_.ReadHeader(handle_, &record);
  if (code != host::kOk) return code;
  entry.name.assign(record.FileName, strnlen(record.FileName, sizeof record.FileName));
  entry.packed = record.PackSize;
  entry.unpacked = record.UnpSize;
  entry.compressed.reset();
  entry.name_cut = false;
  if (const ArchiveReader* details = reader()) {
    entry.compressed = details->index().CurrentEntry().IsCompressed();
  }
  // A name is cut at a character boundary, to 256 bytes at least.
  if (api_.WholeNameLength != nullptr && entry.name.size() + 4 >= host::kHeaderNameSize) {
    entry.name_cut = api_.WholeNameLength(handle_) >= host::kHeaderNameSize;
  }
  return code;
}

int ArchiveSession::Extract(const std::string& folder, const std::string& file) {
  std::string path = folder;
  std::string name = file;
  return api_.ProcessFile(handle_, host::kExtract, path.data(), name.data());
}

int ArchiveSession::Test() { return api_.ProcessFile(handle_, host::kTest, nullptr, nullptr); }

int ArchiveSession::Skip() { return api_.ProcessFile(handle_, host::kSkip, nullptr, nullptr); }

}  // namespace kzr::cli
