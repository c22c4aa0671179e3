#include "archive_session.h"

#include <cstring>

#include "archive/archive_reader.h"
#include "byte_search.h"
#include "plugin/host_names.h"
#include "result_codes.h"

namespace kzr::cli {

std::unique_ptr<ArchiveSession> ArchiveSession::Open(const host::PluginApi& api,
                                                     const std::string& path,
                                                     OpenFailure& failure) {
  host::OpenArchiveRecord record{};
  record.ArchiveName = path.c_str();
  record.OpenResult = host::kOpenError;
  ClearSystemReason();
  host::Handle handle = api.OpenArchive(&record);
  if (handle == nullptr) {
    failure.reason = SystemReason();
    failure.code = record.OpenResult == host::kOk ? host::kOpenError : record.OpenResult;
    return nullptr;
  }
  return std::unique_ptr<ArchiveSession>(new ArchiveSession(api, handle));
}

ArchiveSession::~ArchiveSession() { api_.CloseArchive(handle_); }

void ArchiveSession::SetProcessDataProc(host::ProcessDataProc proc) {
  api_.SetProcessDataProc(handle_, proc);
}

int ArchiveSession::Next(ListedEntry& entry) {
  host::HeaderRecord& record = record_;
  const int code = api_.ReadHeader(handle_, &record);
  if (code != host::kOk) return code;
  const std::string_view field(record.FileName, sizeof record.FileName);
  entry.name.assign(record.FileName, FindByte(field, '\0'));
  entry.packed = record.PackSize;
  entry.unpacked = record.UnpSize;
  entry.name_cut = false;
  if (const ArchiveReader* details = reader_) {
    const EntryView stored = details->index().CurrentEntry();
    entry.compressed = stored.IsCompressed();
    if (stored_names_) {
      if (!entry.stored_name) entry.stored_name.emplace();
      entry.stored_name->assign(stored.Name(), stored.NameLength());  // reuses its memory
    }
  } else {
    entry.compressed.reset();
    entry.stored_name.reset();
  }
  entry.name_cut_for_sure = false;
  if (entry.name.size() >= host::ShortestCutName()) {
    entry.name_cut_for_sure = api_.WholeNameLength != nullptr &&
                              api_.WholeNameLength(handle_) >= host::kHeaderNameSize;
    entry.name_cut = entry.name_cut_for_sure || api_.WholeNameLength == nullptr;
  }
  return code;
}

std::string CutNameProblem(const ListedEntry& entry) {
  const std::string length = std::to_string(entry.name.size());
  return entry.name_cut_for_sure
             ? "the stored name is longer than the " + length + " characters the plugin reports"
             : "the plugin reports names of up to " +
                   std::to_string(host::kHeaderNameSize - 1) + " bytes, and this one of " +
                   length + " may have been cut";
}

int ArchiveSession::Extract(const std::string& folder, const std::string& file) {
  std::string path = folder;
  std::string name = file;
  return api_.ProcessFile(handle_, host::kExtract, path.data(), name.data());
}

int ArchiveSession::Test() { return api_.ProcessFile(handle_, host::kTest, nullptr, nullptr); }

int ArchiveSession::Skip() { return api_.ProcessFile(handle_, host::kSkip, nullptr, nullptr); }

}  // namespace kzr::cli
