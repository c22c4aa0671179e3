#include "plugin/extraction.h"

#include <cstring>
#include <string>

#include "plugin/platform_files.h"

namespace kzr {
namespace {

// From this size on, a member's bytes are written out by a thread of their
// own while the next ones are decoded or read: for a large member that
// nearly hides the time writing takes, for a small one starting a thread
// costs more than it saves.
constexpr std::uint32_t kWriteInBackgroundFrom = std::uint32_t{4} << 20;

// Where the member's pieces go: the temporary output file (none when only
// verifying), and the host's progress callback after each piece.
class ExtractionSink final : public MemberSink {
 public:
  ExtractionSink(const ArchiveHandle& handle, char* name, OutputFile* output) noexcept
      : handle_(handle), name_(name), output_(output) {}

  Status Write(const std::uint8_t* bytes, std::size_t size) noexcept override {
    if (output_ != nullptr) {
      if (const Status status = output_->Write(bytes, size); status != Status::kOk) return status;
    }
    Report(size);
    reported_ = true;
    return Status::kOk;
  }

  // An empty member has no piece: it reports its 0 bytes once more at the end.
  void Finish() const noexcept {
    if (!reported_) Report(0);
  }

  void Report(std::size_t bytes) const noexcept {
    if (handle_.data_proc != nullptr) {
      handle_.data_proc(name_, static_cast<int>(bytes));
    }
  }

 private:
  const ArchiveHandle& handle_;
  char* name_;
  OutputFile* output_;
  bool reported_ = false;
};

Status JoinOutputPath(const char* dest_path, const char* dest_name, std::string& path) {
  const std::size_t path_length = dest_path != nullptr ? std::strlen(dest_path) : 0;
  const std::size_t name_length = dest_name != nullptr ? std::strlen(dest_name) : 0;
  if (path_length + name_length > kMaxOutputPathLength) return Status::kPathTooLong;
  path.reserve(path_length + name_length);
  path.append(dest_path != nullptr ? dest_path : "").append(dest_name != nullptr ? dest_name : "");
  return Status::kOk;
}

}  // namespace

Status ProcessCurrentEntry(ArchiveHandle& handle, int operation, const char* dest_path,
                           const char* dest_name) {
  if (operation != host::kExtract && operation != host::kTest) return Status::kOk;
  ArchiveReader& reader = *handle.reader;
  const EntryView entry = reader.index().CurrentEntry();
  if (!entry) return Status::kCorruptData;  // nothing has been listed yet

  OutputFile output;
  std::string path;
  if (operation == host::kExtract) {
    if (const Status status = JoinOutputPath(dest_path, dest_name, path); status != Status::kOk) {
      return status;
    }
    // Renaming over the archive would lose it (and on Windows fail anyway).
    if (IsSameFile(reader.file(), path.c_str())) return Status::kCannotCreate;
  }
#if defined(_WIN32)
  // The stored name, which is the host's ANSI text.
  char* const progress_name = const_cast<char*>(entry.Name());
#else
  // The name as the listing reported it: converted, in the host's form.
  char progress_name[host::kHeaderNameSize];
  if (handle.data_proc != nullptr) FillReportedName(handle, entry, progress_name);
#endif
  ExtractionSink sink(handle, progress_name, operation == host::kExtract ? &output : nullptr);
  sink.Report(0);
  if (operation == host::kExtract) {
    if (const Status status = output.Create(path, false); status != Status::kOk) return status;
    if (entry.UncompressedSize() >= kWriteInBackgroundFrom) output.WriteInBackground();
  }
  if (const Status status = reader.ReadMember(entry, &sink); status != Status::kOk) {
    return status;  // the output, if any, is discarded
  }
  if (operation == host::kExtract) {
    // A file that stands at the target is replaced only once the new one is
    // on the disk: a crash soon after the rename could otherwise leave the
    // name with neither file's bytes. A new file needs no such wait.
    const bool replaces = PathExists(path.c_str());
    if (const Status status = output.Commit(replaces); status != Status::kOk) return status;
  }
  sink.Finish();
  return Status::kOk;
}

}  // namespace kzr
