#include "archive/extraction.h"

#include "archive/entry_names.h"

namespace kzr {
namespace {

// From this size on, a member's bytes are written out by a thread of their
// own while the next ones are decoded or read: for a large member that
// nearly hides the time writing takes, for a small one starting a thread
// costs more than it saves.
constexpr std::uint32_t kWriteInBackgroundFrom = std::uint32_t{4} << 20;

// A member's pieces go to the output file (none when only verifying), and
// its progress to the caller after each piece.
class OutputSink final : public MemberSink {
 public:
  OutputSink(OutputFile* output, Progress* progress) noexcept
      : output_(output), progress_(progress) {}

  Status Write(const std::uint8_t* bytes, std::size_t size) noexcept override {
    if (output_ != nullptr) {
      if (Status status = output_->Write(bytes, size); !status.ok()) return status;
    }
    return progress_ == nullptr || progress_->Advance(size) ? Status::kOk : Status::kAborted;
  }

 private:
  OutputFile* output_;
  Progress* progress_;
};

// Writes the member into `output`, made already, and puts it in place.
Status WriteMember(const ArchiveReader& reader, const EntryView& entry, MemberBuffers& buffers,
                   OutputFile& output, Progress* progress, const Placing& placing) {
  if (entry.UncompressedSize() >= kWriteInBackgroundFrom) output.WriteInBackground();
  OutputSink sink(&output, progress);
  if (Status status = reader.ReadMember(entry, &sink, buffers); !status.ok()) {
    output.Discard();
    return status;
  }
  return output.Commit(placing);
}

}  // namespace

Status ExtractToFile(const ArchiveReader& reader, const EntryView& entry, MemberBuffers& buffers,
                     const std::string& path, Progress* progress) {
  // Renaming over the archive would lose it (and on Windows fail anyway).
  FileIdentity there;
  const bool exists = IdentityOf(path, there).ok();
  if (exists && there.SameFile(reader.file().identity())) {
    return Status(Status::kIsTheArchive).About(path);
  }
  if (Status status = reader.CheckEntry(entry); !status.ok()) return status;
  OutputFile output;
  if (Status status = output.Create(path, false); !status.ok()) return status;
  // A file that stands at the target is replaced only once the new one is
  // on the disk: a crash soon after the rename could otherwise leave the
  // name with neither file's bytes. A new file needs no such wait.
  Placing placing;
  placing.durable = exists;
  return WriteMember(reader, entry, buffers, output, progress, placing);
}

Status VerifyMember(const ArchiveReader& reader, const EntryView& entry, MemberBuffers& buffers,
                    Progress* progress) {
  OutputSink sink(nullptr, progress);
  return reader.ReadMember(entry, progress != nullptr ? &sink : nullptr, buffers);
}

std::optional<std::string> ProblemWithName(std::string_view reported) {
  if (reported.empty()) return "empty name";
  for (std::size_t start = 0;;) {
    const std::size_t end = ComponentEnd(reported, start);
    const std::string_view component = reported.substr(start, end - start);
    // A reported name is clean: no component is empty, "." or "..".
    if (component.empty() || component == "." || component == "..") return "unsafe component";
    if (std::optional<std::string> problem = SystemRefusesName(component)) return problem;
    if (end == reported.size()) return std::nullopt;
    start = end + 1;
  }
}

Status DestinationTree::Open(const std::string& root) noexcept {
  return Folder::Open(root, root_);
}

Status DestinationTree::FolderFor(std::string_view name, std::shared_ptr<const Folder>& folder,
                                  std::string_view& file) {
  constexpr std::size_t kMostHeld = 256;
  const std::lock_guard lock(mutex_);
  if (held_.size() > kMostHeld) held_.clear();
  const Folder* parent = &root_;
  folder.reset();
  std::string relative;
  std::size_t start = 0;
  for (std::size_t end; (end = ComponentEnd(name, start)) != name.size(); start = end + 1) {
    const std::string_view component = name.substr(start, end - start);
    relative.append(component).push_back(kStoredSeparator);
    auto found = held_.find(relative);
    if (found == held_.end()) {
      auto child = std::make_shared<Folder>();
      if (Status status = parent->Child(component, *child); !status.ok()) return status;
      found = held_.emplace(relative, std::move(child)).first;
    }
    folder = found->second;
    parent = folder.get();
  }
  file = name.substr(start);
  return Status::kOk;
}

Status DestinationTree::Extract(const ArchiveReader& reader, const EntryView& entry,
                                std::string_view name, MemberBuffers& buffers,
                                bool overwrite, Progress* progress, Result& result,
                                std::string& shown) {
  result = Result::kWritten;
  shown = root_.path() + std::string(name);
  if (ProblemWithName(name)) return Status(Status::kNameNotAllowed).About(shown);
  std::shared_ptr<const Folder> held;
  std::string_view file;
  if (Status status = FolderFor(name, held, file); !status.ok()) return status;
  const Folder& folder = held ? *held : root_;
  shown = folder.path() + std::string(file);

  FileKind kind;
  if (Status status = folder.KindOf(file, kind); !status.ok()) return status;
  switch (kind) {
    case FileKind::kMissing:
      break;
    case FileKind::kFile:
    case FileKind::kLink: {
      FileIdentity there;
      if (folder.IdentityOf(file, there).ok() && there.SameFile(reader.file().identity())) {
        return Status(Status::kIsTheArchive).About(shown);
      }
      if (!overwrite) {
        result = Result::kKept;
        return Status::kOk;
      }
      break;  // replaced by a rename, never written through
    }
    case FileKind::kFolder:
    case FileKind::kOther:
      return Status(Status::kExists).About(shown);
  }
  if (Status status = reader.CheckEntry(entry); !status.ok()) return status;
  OutputFile output;
  if (Status status = output.CreateIn(folder, file); !status.ok()) return status;
  Placing placing;
  placing.replace = overwrite;
  placing.durable = kind != FileKind::kMissing;
  Status status = WriteMember(reader, entry, buffers, output, progress, placing);
  if (status == Status::kExists) {  // it appeared while the member was written
    result = Result::kKept;
    return Status::kOk;
  }
  return status;
}

}  // namespace kzr
