#include "archive_session.h"

#include <cstring>

namespace kzr::cli {

std::unique_ptr<ArchiveSession> ArchiveSession::Open(const PluginApi& api,
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

int ArchiveSession::Next(ListedEntry& entry) {
  host::HeaderRecord record{};
  const int code = api_.ReadHeader(handle_, &record);
  if (code != host::kOk) return code;
  entry.name.assign(record.FileName, strnlen(record.FileName, sizeof record.FileName));
  entry.packed = record.PackSize;
  entry.unpacked = record.UnpSize;
  return code;
}

int ArchiveSession::Extract(const std::string& folder, const std::string& file) {
  std::string path = folder;
  std::string name = file;
  return api_.ProcessFile(handle_, host::kExtract, path.data(), name.data());
}

int ArchiveSession::Test() { return api_.ProcessFile(handle_, host::kTest, nullptr, nullptr); }

int ArchiveSession::Skip() { return api_.ProcessFile(handle_, host::kSkip, nullptr, nullptr); }

std::unique_ptr<Listing> ListArchive(const PluginApi& api, const std::string& path, int& code) {
  std::unique_ptr<ArchiveSession> session = ArchiveSession::Open(api, path, code);
  if (!session) return nullptr;
  auto listing = std::make_unique<Listing>();
  ListedEntry entry;
  while ((listing->end_code = session->Next(entry)) == host::kOk) {
    listing->entries.push_back(entry);
  }
  return listing;
}

}  // namespace kzr::cli
