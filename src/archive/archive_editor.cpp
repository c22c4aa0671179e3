#include "archive/archive_editor.h"

#include <memory>
#include <unordered_map>

#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "archive/entry_names.h"

namespace kzr {
namespace {

// The archive being edited: locked, and opened when there is one.
struct Edited {
  std::string path;  // where a link leads
  ArchiveLock lock;
  std::unique_ptr<ArchiveReader> reader;
  bool present = false;
  FileIdentity identity;  // of what stands at the path, when present

  // Locks the archive, then opens it (unless `fresh`: then only what stands
  // there is noted). Anything there that is no intact archive is refused and
  // left alone; nothing there is refused too when the archive `must_exist`.
  Status Open(const std::string& archive, bool fresh, bool must_exist,
              HeaderFindings* findings = nullptr) {
    path = FileBehindLinks(archive);
    if (Status status = lock.Acquire(path, kLockWait); !status.ok()) return status;
    present = PathExists(path);
    if (!present && !must_exist) return Status::kOk;
    if (fresh) return IdentityOf(path, identity);
    if (Status status = ArchiveReader::Open(path, reader, findings); !status.ok()) return status;
    if (reader->index().IsDamaged()) return Status(Status::kDamagedArchive).About(path);
    identity = reader->file().identity();
    return Status::kOk;
  }

  // Where the new archive goes: only where the one that was read still is.
  Placing Place() {
    Placing placing;
    placing.expected = present ? &identity : nullptr;
    placing.expected_absent = !present;
    placing.lock = &lock;
    return placing;
  }
};

// The reported names of an archive's entries, by exact and by folded key.
class NameIndex {
 public:
  NameIndex(const ArchiveReader& reader, CodePage& names) {
    const DirectoryIndex& index = reader.index();
    reported_.resize(index.EntryCount());
    for (std::size_t position = 0; position < index.EntryCount(); ++position) {
      ReportedName(names, index.EntryAt(position).StoredName(), reported_[position]);
      exact_[ExactKey(reported_[position])].push_back(position);
      folded_[FoldedKey(reported_[position])].push_back(position);
    }
  }

  const std::string& reported(std::size_t position) const { return reported_[position]; }
  std::size_t size() const { return reported_.size(); }

  // The entries of `name`: those of exactly that name, else those of that
  // name in any case.
  const std::vector<std::size_t>* Find(std::string_view name) const {
    if (const auto found = exact_.find(ExactKey(name)); found != exact_.end()) {
      return &found->second;
    }
    if (const auto found = folded_.find(FoldedKey(name)); found != folded_.end()) {
      return &found->second;
    }
    return nullptr;
  }

 private:
  std::vector<std::string> reported_;
  std::unordered_map<std::string, std::vector<std::size_t>> exact_;
  std::unordered_map<std::string, std::vector<std::size_t>> folded_;
};

// Copies every entry of `reader` in directory order, but those marked.
Status CopyEntries(const ArchiveReader& reader, ArchiveWriter& writer,
                   const std::vector<bool>& skipped, Progress* progress) {
  const DirectoryIndex& index = reader.index();
  for (std::size_t position = 0; position < index.EntryCount(); ++position) {
    if (skipped[position]) continue;
    if (Status status = writer.CopyEntry(reader, index.EntryAt(position), progress); !status.ok()) {
      return status;
    }
  }
  return Status::kOk;
}

struct CheckedFile {
  const NewFile* file;
  std::string stored;
};

}  // namespace

Status PackArchive(const PackRequest& request, CodePage& names, Progress* progress,
                   EditCounts* counts) {
  // Names are checked before anything is read or written. Names that
  // differ in letter case only (two files on Linux) would make entries that
  // every later replace or delete takes for one, and that the game reads as
  // one file. A file listed twice is stored once.
  std::vector<CheckedFile> files;
  std::unordered_map<std::string, const std::string*> sources;  // folded name -> source
  for (const NewFile& file : request.files) {
    std::string stored;
    if (!names.ToStored(file.name, stored)) {
      return Status(Status::kNameNotConvertible).About(file.source);
    }
    if (stored.size() > kMaxStoredNameLength) return Status(Status::kPathTooLong).About(file.source);
    const auto [known, added] = sources.emplace(FoldedKey(file.name), &file.source);
    if (!added) {
      if (*known->second == file.source) continue;
      return Status(Status::kSameMemberName).About(file.source);
    }
    files.push_back({&file, std::move(stored)});
  }

  Edited archive;
  if (Status status = archive.Open(request.archive, request.fresh, false); !status.ok()) return status;
  if (archive.present) {
    // The archive itself, listed with the folder that holds it, is left
    // out: it cannot hold itself, and moving it in would remove it.
    std::erase_if(files, [&](const CheckedFile& checked) {
      FileIdentity source;
      return IdentityOf(checked.file->source, source).ok() && source.SameFile(archive.identity);
    });
  }

  EditCounts done;
  std::vector<bool> replaced;
  if (archive.reader) {
    const NameIndex index(*archive.reader, names);
    replaced.assign(index.size(), false);
    for (const CheckedFile& checked : files) {
      const std::vector<std::size_t>* entries = index.Find(checked.file->name);
      ++(entries != nullptr ? done.replaced : done.added);
      if (entries == nullptr) continue;
      for (const std::size_t position : *entries) replaced[position] = true;
    }
  } else {
    done.added = files.size();
  }

  ArchiveWriter writer;
  const Flavour flavour = archive.reader ? archive.reader->flavour() : Flavour::kMasked;
  if (Status status = writer.Begin(archive.path, flavour, archive.present); !status.ok()) {
    return status;
  }
  if (archive.reader) {
    if (Status status = CopyEntries(*archive.reader, writer, replaced, progress); !status.ok()) {
      return status;
    }
  }
  for (const CheckedFile& checked : files) {
    if (Status status = writer.AddFile(checked.file->source, checked.stored, checked.file->name,
                                       progress);
        !status.ok()) {
      return status;
    }
  }
  archive.reader.reset();  // closed before the rename, which Windows needs
  if (Status status = writer.Finish(archive.Place()); !status.ok()) return status;
  if (counts != nullptr) *counts = done;
  return Status::kOk;
}

Status DeleteEntries(const DeleteRequest& request, CodePage& names, Progress* progress,
                     EditCounts* counts) {
  Edited archive;
  if (Status status = archive.Open(request.archive, false, true, request.findings); !status.ok()) {
    return status;
  }
  const NameIndex index(*archive.reader, names);
  std::vector<bool> doomed(index.size(), false);

  for (const std::string& name : request.names) {
    if (const std::vector<std::size_t>* entries = index.Find(name)) {
      for (const std::size_t position : *entries) doomed[position] = true;
      continue;
    }
    if (!request.cut_form_of) continue;
    // A cut name: one row, every entry of which has the same whole name.
    const std::string* row = nullptr;
    for (std::size_t position = 0; position < index.size(); ++position) {
      if (!request.cut_form_of(index.reported(position), name)) continue;
      if (row != nullptr && *row != index.reported(position)) {
        return Status(Status::kAmbiguousName).About(name);
      }
      row = &index.reported(position);
    }
    for (std::size_t position = 0; row != nullptr && position < index.size(); ++position) {
      if (index.reported(position) == *row) doomed[position] = true;
    }
  }
  if (request.choose) {
    for (std::size_t position = 0; position < index.size(); ++position) {
      if (!request.choose(index.reported(position))) continue;
      doomed[position] = true;
      if (request.chosen != nullptr) request.chosen->push_back(index.reported(position));
    }
  }
  for (const std::string& folder : request.folders) {
    // Exactly that folder's entries, or, when there are none, those of it in
    // any case.
    for (const bool folded : {false, true}) {
      const std::string key = folded ? FoldedKey(folder) : ExactKey(folder);
      bool any = false;
      for (std::size_t position = 0; position < index.size(); ++position) {
        const std::string reported = folded ? FoldedKey(index.reported(position))
                                            : ExactKey(index.reported(position));
        if (reported.starts_with(key)) doomed[position] = any = true;
      }
      if (any) break;
    }
  }

  EditCounts done;
  for (const bool chosen : doomed) done.deleted += chosen ? 1 : 0;
  if (done.deleted != 0) {
    ArchiveWriter writer;
    if (Status status = writer.Begin(archive.path, archive.reader->flavour(), true); !status.ok()) {
      return status;
    }
    // What is copied is what takes the time: its size, before it begins.
    std::uint64_t kept = 0;
    for (std::size_t position = 0; position < index.size(); ++position) {
      if (!doomed[position]) kept += archive.reader->index().EntryAt(position).StoredSize();
    }
    if (progress != nullptr && !progress->Begin(archive.path, kept)) return Status::kAborted;
    if (Status status = CopyEntries(*archive.reader, writer, doomed, progress); !status.ok()) {
      return status;
    }
    archive.reader.reset();  // closed before the rename, which Windows needs
    if (Status status = writer.Finish(archive.Place()); !status.ok()) return status;
  }
  if (counts != nullptr) *counts = done;
  return Status::kOk;
}

}  // namespace kzr
