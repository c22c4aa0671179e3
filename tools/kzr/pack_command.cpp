// kzr pack: one PackFiles call with the files found under the given paths,
// named relative to the source folder, in a stable order.
#include <algorithm>
#include <map>

#include "archive/format.h"
#include "commands.h"
#include "native_fs.h"
#include "plugin/host_interface.h"
#include "progress.h"
#include "result_codes.h"
#include "safe_path.h"

namespace kzr::cli {
namespace {

struct SourceFile {
  std::string item;  // relative to the source folder, native separators
  std::uint64_t size = 0;
  bool through_link = false;  // reached through a symbolic link
};

// The stored form of an item: the order of the archive, the same on every
// system.
std::string StoredForm(std::string item) {
  std::replace(item.begin(), item.end(), kNativeSeparator, '\\');
  return item;
}

std::string BaseName(const std::string& path) {
  std::size_t end = path.size();
  while (end > 0 && IsNativeSeparator(path[end - 1])) --end;
  std::size_t start = end;
  while (start > 0 && !IsNativeSeparator(path[start - 1])) --start;
  return path.substr(start, end - start);
}

class FileCollector {
 public:
  FileCollector(const Console& console, std::string root)
      : console_(console), root_(WithTrailingSeparator(std::move(root))) {}

  // Adds the file or the folder tree at `item` (relative to the root).
  bool Add(const std::string& item, const std::string& shown) {
    switch (KindOfTarget(root_ + item)) {
      case FileKind::kFile:
        AddFile(item, KindOf(root_ + item) == FileKind::kSymlink);
        return true;
      case FileKind::kFolder:
        return AddFolder(item);
      case FileKind::kMissing:
        console_.Error(shown + ": no such file or folder");
        return false;
      default:
        console_.Error(shown + ": not a file or folder");
        return false;
    }
  }

  const std::map<std::string, SourceFile>& files() const { return files_; }

 private:
  void AddFile(const std::string& item, bool through_link) {
    const std::uint64_t size = FileSize(root_ + item).value_or(0);
    files_[StoredForm(item)] = SourceFile{item, size, through_link};
  }

  bool AddFolder(const std::string& folder) {
    std::string error;
    const std::string path = folder.empty() ? root_ : root_ + folder;
    std::optional<std::vector<std::string>> names = ListFolder(path, error);
    if (!names) {
      console_.Error(path + ": cannot read the folder: " + error);
      return false;
    }
    std::sort(names->begin(), names->end());
    bool ok = true;
    for (const std::string& name : *names) {
      const std::string item = folder.empty() ? name : folder + kNativeSeparator + name;
      const std::string full = root_ + item;
      switch (KindOf(full)) {
        case FileKind::kFile:
          AddFile(item, false);
          break;
        case FileKind::kFolder:
          ok = AddFolder(item) && ok;
          break;
        case FileKind::kSymlink:
          // A linked file is packed with the link's name; linked folders
          // are not entered, so no link can lead the walk in a circle.
          if (KindOfTarget(full) == FileKind::kFile) {
            AddFile(item, true);
          } else {
            console_.Warning(full + ": skipped (a symbolic link to a folder, or a broken one)");
          }
          break;
        default:
          console_.Warning(full + ": skipped (not a regular file)");
          break;
      }
    }
    return ok;
  }

  const Console& console_;
  const std::string root_;
  std::map<std::string, SourceFile> files_;  // by stored form, so sorted and without repeats
};

// Whether the archive is among the files to pack (it would be truncated
// before it is read).
std::optional<std::string> ArchiveAmongSources(const std::string& archive, const std::string& root,
                                               const std::map<std::string, SourceFile>& files) {
  const std::optional<std::string> target = CanonicalPath(archive);
  if (!target) return std::nullopt;
  const std::string base = BaseName(*target);
  for (const auto& [stored, file] : files) {
    if (!file.through_link && !SamePath(BaseName(file.item), base)) continue;
    const std::optional<std::string> source =
        CanonicalPath(WithTrailingSeparator(root) + file.item);
    if (source && SamePath(*source, *target)) return file.item;
  }
  return std::nullopt;
}

}  // namespace

int RunPack(const Context& context, const PackOptions& options) {
  const Console& console = context.console;
  if (KindOfTarget(options.folder) != FileKind::kFolder) {
    console.Error(options.folder + ": not a folder");
    return kExitFailure;
  }
  const std::string root = AbsolutePath(options.folder);

  std::optional<std::string> prefix;
  if (options.prefix) {
    std::string reason;
    prefix = StoredPrefix(*options.prefix, reason);
    if (!prefix) {
      console.Error("--prefix " + *options.prefix + ": refused: " + reason);
      return kExitUsage;
    }
  }

  // Relative paths are taken from the source folder, as the names are.
  FileCollector collector(console, root);
  bool collected = true;
  for (const std::string& path : options.paths) {
    const std::string absolute =
        AbsolutePath(IsAbsolutePath(path) ? path : WithTrailingSeparator(root) + path);
    const std::optional<std::string> item = RelativeInside(absolute, root);
    if (!item) {
      console.Error(path + ": not inside the source folder " + options.folder);
      collected = false;
      continue;
    }
    collected = collector.Add(*item, path) && collected;
  }
  if (!collected) return kExitFailure;
  const std::map<std::string, SourceFile>& files = collector.files();

  if (const std::optional<std::string> self = ArchiveAmongSources(options.archive, root, files)) {
    console.Error(options.archive + ": refusing to pack the archive into itself (it is among " +
                  "the files to pack, as " + *self + ")");
    return kExitFailure;
  }
  switch (KindOfTarget(options.archive)) {
    case FileKind::kMissing:
      break;
    case FileKind::kFile: {
      std::string path = options.archive;
      if (options.overwrite || context.api.CanYouHandleThisFile(path.data()) != 0) break;
      console.Error(options.archive +
                    ": exists and is not a KZR archive; kept (--overwrite replaces it)");
      return kExitFailure;
    }
    default:
      console.Error(options.archive + ": exists and is not a file");
      return kExitFailure;
  }

  // What the archive would hold: 52 header bytes, each file's bytes and a
  // record of 43 bytes plus its name.
  const std::size_t prefix_length = prefix ? prefix->size() : 0;
  std::uint64_t bytes = 0, archive_length = format::kHeaderSize;
  std::string add_list;
  for (const auto& [stored, file] : files) {
    bytes += file.size;
    archive_length += file.size + format::kRecordLengthSize + format::kMinRecordLength +
                      prefix_length + stored.size();
    if (prefix_length + stored.size() >= host::kHeaderNameSize) {
      console.Warning((prefix ? *prefix : "") + stored + ": the name is longer than " +
                      std::to_string(host::kHeaderNameSize - 1) +
                      " characters; listings will show it cut");
    }
    add_list += file.item;
    add_list += '\0';
  }
  add_list += '\0';
  if (archive_length > format::kMaxArchiveLength) {
    console.Error(options.archive + ": " + DescribeResult(host::kNotSupported) + ": " +
                  std::to_string(files.size()) + " files, " + std::to_string(bytes) + " bytes");
    return kExitFailure;
  }

  // PackFiles adds to an archive that exists; pack makes a new one, under a
  // name of its own beside ARCHIVE, and puts it in place once it is whole.
  std::string archive = options.archive + ".kzr-tmp-" + std::to_string(ProcessNumber()) + "-new";
  std::string source = WithTrailingSeparator(root);
  std::string sub_path = prefix.value_or("");
  int code;
  {
    Progress progress("packing", bytes, files.size(), console.quiet());
    FileGrowthWatcher watcher(progress, archive);
    code = context.api.PackFiles(archive.data(), prefix ? sub_path.data() : nullptr,
                                 source.data(), add_list.data(), 0);
  }
  std::string error;
  if (code == host::kOk && !MoveOver(archive, options.archive, error)) {
    RemoveFile(archive);
    console.Error(options.archive + ": cannot put the new archive in place: " + error);
    return kExitFailure;
  }
  if (code != host::kOk) {
    RemoveFile(archive);
    std::string cause = DescribeResult(code);
    if (code == host::kOpenError) cause += " a file to pack";
    if (code == host::kCreateError) cause += " the archive";
    console.Error(options.archive + ": " + cause);
    return kExitFailure;
  }
  console.Note("packed " + std::to_string(files.size()) + " files (" + std::to_string(bytes) +
               " bytes) into " + options.archive);
  return kExitOk;
}

}  // namespace kzr::cli
