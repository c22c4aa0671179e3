#include "plugin/archive_editing.h"

#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "archive/archive_reader.h"
#include "plugin/archive_writer.h"
#include "plugin/host_interface.h"
#include "plugin/host_names.h"
#include "plugin/platform_files.h"

namespace kzr {
namespace {

// The list items, as views into the host's buffer.
std::vector<std::string_view> SplitList(const char* list) {
  std::vector<std::string_view> items;
  for (const char* item = list; item != nullptr && *item != '\0'; item += std::strlen(item) + 1) {
    items.emplace_back(item);
  }
  return items;
}

bool IsFolderItem(std::string_view full_source_path) {
  return host::EndsWithSeparator(full_source_path);
}

// The member key (host::MemberKey) of an entry's reported name.
std::string ReportedKey(host::NameConverter& names, const EntryView& entry, std::string& buffer) {
  host::ReportedName(names, {entry.Name(), entry.NameLength()}, buffer);
  return host::MemberKey(buffer);
}

// Opens what stands at `path` as the archive to edit: none when nothing is
// there; refused when it is no archive, or a damaged one.
Status OpenExisting(const char* path, std::unique_ptr<ArchiveReader>& reader) {
  if (!PathExists(path)) return Status::kOk;
  const Status status = ArchiveReader::Open(path, reader);
  if (status != Status::kOk) return status;
  if (reader->index().IsDamaged()) {
    reader.reset();
    return Status::kDamagedArchive;
  }
  return Status::kOk;
}

// Copies every entry of `reader` in directory order, but those `skip` takes.
template <typename Skip>
Status CopyEntries(ArchiveReader& reader, ArchiveWriter& writer, Skip skip) {
  const DirectoryIndex& index = reader.index();
  for (std::size_t position = 0; position < index.EntryCount(); ++position) {
    const EntryView entry = index.EntryAt(position);
    if (skip(entry)) continue;
    if (const Status status = writer.CopyEntry(reader, entry); status != Status::kOk) return status;
  }
  return Status::kOk;
}

struct NewFile {
  std::string source;
  std::string stored;  // in the names' code page
  std::string key;     // of the name in the host's text, as listed names are matched
};

}  // namespace

Status PackFileList(const char* archive_path, const char* sub_path, const char* source_path,
                    const char* add_list, bool move_files) {
  if (archive_path == nullptr) return Status::kCannotCreate;
  const std::string_view sub(sub_path != nullptr ? sub_path : "");
  const std::string_view source_folder(source_path != nullptr ? source_path : "");
  const std::vector<std::string_view> items = SplitList(add_list);

  host::NameConverter names;
  if (const Status status = names.Open(); status != Status::kOk) return status;

  // Paths and names are checked before anything is read or written.
  std::vector<NewFile> files;
  std::vector<std::string> folders;
  for (const std::string_view item : items) {
    std::string source = std::string(source_folder).append(item);
    const std::string name = host::HostNameFor(sub, item);
    if (source.size() > kMaxPackPathLength || name.size() > kMaxPackPathLength) {
      return Status::kPathTooLong;
    }
    if (IsFolderItem(source)) {
      folders.push_back(std::move(source));
      continue;
    }
    // Where the host does not separate folders with `\`, a `\` in a file's
    // path is part of a file's name, which the format cannot hold: stored, it
    // would split the name into folders. (The sub-path is the archive's own
    // path, in which hosts may write `\`.)
    if (host::kHostSeparator != host::kStoredSeparator &&
        item.find(host::kStoredSeparator) != std::string_view::npos) {
      return Status::kNameNotConvertible;
    }
    std::string stored;
    if (!names.ToStored(name, stored)) return Status::kNameNotConvertible;
    if (stored.size() > kMaxPackPathLength) return Status::kPathTooLong;
    files.push_back({std::move(source), std::move(stored), host::MemberKey(name)});
  }
  // Names that differ in letter case only (two files on Linux) would make
  // entries that every later replace or delete takes for one member, and
  // that the game reads as one file. A file listed twice is packed once.
  std::unordered_map<std::string, std::string> sources;
  for (auto file = files.begin(); file != files.end();) {
    const auto [known, added] = sources.emplace(file->key, file->source);
    if (added) {
      ++file;
    } else if (known->second == file->source) {
      file = files.erase(file);
    } else {
      return Status::kSameMemberName;
    }
  }

  std::unique_ptr<ArchiveReader> existing;
  if (const Status status = OpenExisting(archive_path, existing); status != Status::kOk) {
    return status;
  }
  if (existing) {
    // The archive itself, listed with the folder that holds it, is left out:
    // it cannot hold itself, and moving it in would remove it.
    std::erase_if(files, [&](const NewFile& file) {
      return IsSameFile(existing->file(), file.source.c_str());
    });
  }
  ArchiveWriter writer;
  const Flavour flavour = existing ? existing->flavour() : Flavour::kMasked;
  if (const Status status = writer.Begin(archive_path, flavour, existing != nullptr);
      status != Status::kOk) {
    return status;
  }
  if (existing) {
    std::unordered_set<std::string> replaced;
    for (const NewFile& file : files) replaced.insert(file.key);
    std::string buffer;
    const Status status = CopyEntries(*existing, writer, [&](const EntryView& entry) {
      return replaced.contains(ReportedKey(names, entry, buffer));
    });
    if (status != Status::kOk) return status;
  }
  for (const NewFile& file : files) {
    if (const Status status = writer.AddFile(file.source.c_str(), file.stored);
        status != Status::kOk) {
      return status;
    }
  }
  existing.reset();  // closed before the rename, which Windows needs
  if (const Status status = writer.Finish(); status != Status::kOk) return status;

  if (move_files) {
    // Only now that the archive holds them; what cannot be removed stays.
    for (const NewFile& file : files) RemoveFile(file.source.c_str());
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
      std::string path = *folder;
      path.pop_back();  // the trailing separator
      RemoveEmptyFolder(path.c_str());
    }
  }
  return Status::kOk;
}

Status DeleteMembers(const char* archive_path, const char* delete_list) {
  if (archive_path == nullptr) return Status::kCannotOpen;
  host::NameConverter converter;
  if (const Status status = converter.Open(); status != Status::kOk) return status;
  std::unordered_set<std::string> names;
  std::vector<std::string> folders;  // member keys ending with `\`
  for (const std::string_view item : SplitList(delete_list)) {
    if (const std::optional<std::string_view> folder = host::WholeFolderItem(item)) {
      folders.push_back(host::MemberKey(*folder));
    } else {
      names.insert(host::MemberKey(item));
    }
  }
  std::string buffer;
  const auto doomed = [&](const EntryView& entry) {
    const std::string key = ReportedKey(converter, entry, buffer);
    if (names.contains(key)) return true;
    for (const std::string& folder : folders) {
      if (key.starts_with(folder)) return true;
    }
    return false;
  };

  std::unique_ptr<ArchiveReader> existing;
  if (!PathExists(archive_path)) return Status::kCannotOpen;
  if (const Status status = OpenExisting(archive_path, existing); status != Status::kOk) {
    return status;
  }
  const DirectoryIndex& index = existing->index();
  bool any = false;
  for (std::size_t position = 0; position < index.EntryCount(); ++position) {
    const bool chosen = doomed(index.EntryAt(position));  // `buffer`: its reported name
    // The listing cut this entry's name short, and the host names it so: the
    // entry cannot be told by that name, and deleting nothing would pass for
    // success.
    const std::size_t listed = host::ListedLength(buffer);
    if (!chosen && listed < buffer.size() &&
        names.contains(host::MemberKey(std::string_view(buffer).substr(0, listed)))) {
      return Status::kPathTooLong;
    }
    any = any || chosen;
  }
  if (!any) return Status::kOk;

  ArchiveWriter writer;
  if (const Status status = writer.Begin(archive_path, existing->flavour(), true);
      status != Status::kOk) {
    return status;
  }
  if (const Status status = CopyEntries(*existing, writer, doomed); status != Status::kOk) {
    return status;
  }
  existing.reset();
  return writer.Finish();
}

}  // namespace kzr
