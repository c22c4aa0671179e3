// kzr pack and kzr add: one PackFiles call with the files found under the
// given paths, named relative to the source folder, in a stable order. Pack
// makes a new archive: the plugin writes it under a name of its own beside
// ARCHIVE, and it replaces ARCHIVE only once it is whole. Add hands the
// plugin ARCHIVE itself, which adds to it (or makes it when it is missing).
// Either way the archive that stood there is kept whatever fails.
#include <algorithm>
#include <cstdio>
#include <map>

#include "archive/format.h"
#include "commands.h"
#include "interruption.h"
#include "native_fs.h"
#include "plugin/host_interface.h"
#include "plugin/host_names.h"
#include "plugin/name_converter.h"
#include "plugin/platform_files.h"
#include "progress.h"
#include "quantities.h"
#include "result_codes.h"
#include "safe_path.h"

namespace kzr::cli {
namespace {

// The stored form of an item: `\` between folders, the same on every system.
std::string StoredForm(std::string item) {
  std::replace(item.begin(), item.end(), kNativeSeparator, '\\');
  return item;
}

// The name part of a path: what follows its folder part.
std::string BaseName(const std::string& path) { return path.substr(FolderPart(path).size()); }

// Why a name has no form in the names' code page that lists as the name.
std::string UnfitName(const host::NameConverter& names) {
  return "the name has characters that the names' code page (" + names.code_page() +
         ") cannot hold, or holds only as another name";
}

class FileCollector {
 public:
  FileCollector(const Console& console, host::NameConverter& names, std::string root,
                std::string prefix)
      : console_(console), names_(names), root_(WithTrailingSeparator(std::move(root))),
        prefix_(std::move(prefix)) {}

  // Adds the file or the folder tree at `item` (relative to the root).
  bool Add(const std::string& item, const std::string& shown) {
    ClearSystemReason();
    const FileKind kind = KindOfTarget(root_ + item);
    const std::string reason = SystemReason();
    switch (kind) {
      case FileKind::kFile:
        AddFile(item, KindOf(root_ + item) == FileKind::kSymlink);
        return true;
      case FileKind::kFolder:
        if (AddFolder(item) == 0) {
          console_.Warning(shown + ": skipped: an empty folder (archives hold files only)");
        }
        return true;
      case FileKind::kMissing:
        console_.Error(shown + ": " + (reason.empty() ? "No such file or directory" : reason));
        return false;
      default:
        console_.Error(shown + ": " + (reason.empty() ? "not a file or folder" : reason));
        return false;
    }
  }

  // By stored name (in the names' code page), so sorted as the stored names
  // sort, whichever system packs them, and without repeats.
  const std::map<std::string, std::string>& files() const { return files_; }
  bool through_link(const std::string& item) const { return linked_.contains(item); }
  std::size_t refused() const { return refused_; }

 private:
  void AddFile(const std::string& item, bool through_link) {
    const std::string stored = prefix_ + StoredForm(item);
    std::string reason;
#if !defined(_WIN32)
    // A `\` in a name here would be a folder separator in the archive.
    if (item.find('\\') != std::string::npos) {
      return Refuse(item, "refused: a '\\' in the name, which archives read as a separator");
    }
#endif
    if (!SplitStoredName(stored, reason)) return Refuse(item, "refused: " + reason);
    if (const std::optional<std::string> problem = PathLimitProblem(root_ + item)) {
      return Refuse(item, *problem);
    }
    std::string in_code_page;
    if (!names_.ToStored(stored, in_code_page)) {
      return Refuse(item, "refused: " + UnfitName(names_));
    }
    // Both forms must fit the listing's record, or the name would be listed cut.
    if (std::max(stored.size(), in_code_page.size()) >= host::kHeaderNameSize) {
      return Refuse(item, "refused: the stored name is longer than " +
                              std::to_string(host::kHeaderNameSize - 1) + " characters");
    }
    const auto [same, fresh] = keys_.emplace(host::MemberKey(stored), item);
    if (!fresh && same->second == item) return;  // named twice, packed once
    if (!fresh) {
      return Refuse(item, "refused: it would be stored under the same name as " + same->second);
    }
    files_.emplace(std::move(in_code_page), item);
    if (through_link) linked_.emplace(item, true);
  }

  void Refuse(const std::string& item, const std::string& cause) {
    console_.Error(root_ + item + ": " + cause);
    ++refused_;
  }

  // Returns the number of files found below `folder`.
  std::size_t AddFolder(const std::string& folder) {
    std::string error;
    const std::string path = folder.empty() ? root_ : root_ + folder;
    std::optional<std::vector<FolderEntry>> entries = ListFolder(path, error);
    if (!entries) {
      console_.Error(path + ": cannot read the folder: " + error);
      ++refused_;
      return 0;
    }
    std::sort(entries->begin(), entries->end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    std::size_t found = 0;
    for (const FolderEntry& entry : *entries) {
      const std::string item = folder.empty() ? entry.name : folder + kNativeSeparator + entry.name;
      const std::string full = root_ + item;
      if (!entry.unfit.empty()) {
        // The plugin could not be given the name: nothing below it is packed.
        Refuse(item, std::string(entry.kind == FileKind::kFolder ? "refused with all it holds: "
                                                                 : "refused: ") +
                         entry.unfit + ", in which the plugin takes names");
        continue;
      }
      switch (entry.kind) {
        case FileKind::kFile:
          AddFile(item, false);
          ++found;
          break;
        case FileKind::kFolder:
          if (const std::size_t below = AddFolder(item); below != 0) {
            found += below;
          } else {
            console_.Warning(full + ": skipped: an empty folder (archives hold files only)");
          }
          break;
        case FileKind::kSymlink:
          // A linked file is packed with the link's name; linked folders
          // are not entered, so no link can lead the walk in a circle.
          if (KindOfTarget(full) == FileKind::kFile) {
            AddFile(item, true);
            ++found;
          } else {
            console_.Warning(full + ": skipped (a symbolic link to a folder, or a broken one)");
          }
          break;
        default:
          console_.Warning(full + ": skipped (not a regular file)");
          break;
      }
    }
    return found;
  }

  const Console& console_;
  host::NameConverter& names_;
  const std::string root_;
  const std::string prefix_;
  std::map<std::string, std::string> files_;  // stored name -> item
  std::map<std::string, std::string> keys_;   // member key -> item
  std::map<std::string, bool> linked_;
  std::size_t refused_ = 0;
};

// Whether the archive is among the files to pack (it would be read while it
// is replaced).
std::optional<std::string> ArchiveAmongSources(const std::string& archive, const std::string& root,
                                               const FileCollector& collector) {
  const std::optional<std::string> target = CanonicalPath(archive);
  if (!target) return std::nullopt;
  const std::string base = BaseName(*target);
  for (const auto& [stored, item] : collector.files()) {
    if (!collector.through_link(item) && !SamePath(BaseName(item), base)) continue;
    const std::optional<std::string> source = CanonicalPath(WithTrailingSeparator(root) + item);
    if (source && SamePath(*source, *target)) return item;
  }
  return std::nullopt;
}

// Why PackFiles failed with `code`, in words that name the file.
std::string ExplainPackFailure(int code, const std::string& reason, const std::string& archive,
                               bool existed, const std::string& root,
                               const FileCollector& collector) {
  const std::string kept = existed ? "; the archive is kept as it was" : "";
  switch (code) {
    case host::kOpenError:
    case host::kReadError:
      // Find the source that fails now; the plugin does not say which.
      for (const auto& [stored, item] : collector.files()) {
        std::FILE* file = std::fopen((WithTrailingSeparator(root) + item).c_str(), "rb");
        if (file == nullptr) {
          return archive + ": cannot read " + WithTrailingSeparator(root) + item + ": " +
                 SystemReason() + kept;
        }
        std::fclose(file);
      }
      return archive + ": " + DescribeResult(code) +
             (code == host::kReadError ? ": a file to pack changed while it was read" : "") +
             (reason.empty() ? "" : ": " + reason) + kept;
    case host::kCreateError:
    case host::kWriteError:
      return archive + ": cannot write the new archive" + (reason.empty() ? "" : ": " + reason) +
             kept;
    case host::kUnknownFormat:
      return archive + ": exists and is not a KZR archive; kept";
    case host::kBadArchive:
      return archive + ": the archive is damaged; kept as it was";
    case host::kNotSupported:
      // The size, since the names were checked against their code page.
      return archive + ": an archive holds at most 2^31 - 1 bytes (2 GiB)" + kept;
    default:
      return archive + ": " + DescribeResult(code) + kept;
  }
}

}  // namespace

int RunPack(const Context& context, const PackOptions& options) {
  const Console& console = context.console;
  ClearSystemReason();
  if (const FileKind kind = KindOfTarget(options.folder); kind != FileKind::kFolder) {
    const std::string reason = SystemReason();
    console.Error(options.folder + ": " +
                  (kind == FileKind::kMissing && !reason.empty() ? reason : "not a folder"));
    return kExitFailure;
  }
  const std::string root = AbsolutePath(options.folder);

  // The names' code page as the plugin will use it (on Windows the ANSI code
  // page, which needs no conversion).
  host::NameConverter names;
  if (names.Open() != Status::kOk) {
    console.Error("the names' code page " + names.code_page() +
                  " is unknown here, or does not keep ASCII characters as they are");
    return kExitFailure;
  }

  std::optional<std::string> prefix;
  if (options.prefix) {
    std::string reason, in_code_page;
    prefix = StoredPrefix(*options.prefix, reason);
    if (prefix && !names.ToStored(*prefix, in_code_page)) {
      reason = UnfitName(names);
      prefix.reset();
    }
    if (!prefix) {
      console.Error("--prefix " + *options.prefix + ": refused: " + reason);
      return kExitUsage;
    }
  }

  // Relative paths are taken from the source folder, as the names are.
  FileCollector collector(console, names, root, prefix.value_or(""));
  bool collected = true;
  for (const std::string& path : options.paths) {
    const std::string joined = IsAbsolutePath(path) ? path : WithTrailingSeparator(root) + path;
    if (const std::optional<std::string> problem = PathLimitProblem(joined)) {
      console.Error(path + ": " + *problem);
      collected = false;
      continue;
    }
    const std::string absolute = AbsolutePath(joined);
    const std::optional<std::string> item = RelativeInside(absolute, root);
    if (!item) {
      console.Error(path + ": not inside the source folder " + options.folder);
      collected = false;
      continue;
    }
    collected = collector.Add(*item, path) && collected;
  }
  if (!collected) return kExitFailure;

  if (const std::optional<std::string> self = ArchiveAmongSources(options.archive, root, collector)) {
    console.Error(options.archive + ": refusing to pack the archive into itself (it is among " +
                  "the files to pack, as " + *self + ")");
    return kExitFailure;
  }
  const FileKind existing = KindOfTarget(options.archive);
  if (existing != FileKind::kMissing && existing != FileKind::kFile) {
    console.Error(options.archive + ": exists and is not a file");
    return kExitFailure;
  }
  // pack: the new archive under a name of this process's, renamed over
  // ARCHIVE (where a link at ARCHIVE leads, as the plugin writes) below;
  // add: ARCHIVE itself.
  const std::string archive_file = FileBehindLinks(options.archive.c_str());
  if (!options.add && existing == FileKind::kFile && !MayChange(archive_file.c_str())) {
    console.Error(options.archive + ": cannot be replaced: " + SystemReason() +
                  "; the archive is kept as it was");
    return kExitFailure;
  }
  if (!options.add && existing == FileKind::kFile && !options.overwrite) {
    std::string path = options.archive;
    if (context.api.CanYouHandleThisFile(path.data()) == 0) {
      console.Error(options.archive +
                    ": exists and is not a KZR archive; kept (--overwrite replaces it)");
      return kExitFailure;
    }
  }

  std::string add_list;
  for (const auto& [stored, item] : collector.files()) {
    add_list += item;
    add_list += '\0';
  }
  add_list += '\0';

  std::string target = options.add ? options.archive : TemporaryPathFor(archive_file, "new");
  std::string source = WithTrailingSeparator(root);
  std::string sub_path = prefix.value_or("");
  const std::size_t count = collector.files().size();
  int code;
  std::string reason;
  {
    const WritingIn writing(FolderOf(archive_file));
    Progress progress("packing", console.quiet());
    if (progress.wanted()) {
      Totals totals{0, count};
      for (const auto& [stored, item] : collector.files()) {
        totals.bytes += FileSize(source + item).value_or(0);
      }
      progress.SetTotals(totals);
    }
    FileGrowthWatcher watcher(progress, FolderOf(archive_file), TemporaryMark());
    // A file under the new archive's name is a leftover of a killed kzr of the
    // same process number: PackFiles would add to it.
    if (!options.add) RemoveFile(target);
    ClearSystemReason();
    code = context.api.PackFiles(target.data(), prefix ? sub_path.data() : nullptr, source.data(),
                                 add_list.data(), 0);
    if (code != host::kOk) reason = SystemReason();
    std::string error;
    if (code == host::kOk && !options.add && !MoveOver(target, archive_file, error)) {
      RemoveFile(target);
      console.Error(options.archive + ": cannot put the new archive in place: " + error +
                    (existing == FileKind::kFile ? "; the archive is kept as it was" : ""));
      return kExitFailure;
    }
    if (code != host::kOk && !options.add) RemoveFile(target);
  }
  if (code != host::kOk) {
    console.Error(ExplainPackFailure(code, reason, options.archive, existing == FileKind::kFile,
                                     root, collector));
    return kExitFailure;
  }
  // PackFiles takes the whole list in one call: the names follow once it is done.
  if (console.verbose()) {
    for (const auto& [stored, item] : collector.files()) console.Out(Printable(item) + "\n");
  }
  std::string summary = (options.add ? "added " : "packed ") +
                        Plural(count, "file", "files") + (options.add ? " to " : " into ") +
                        options.archive;
  if (collector.refused() != 0) summary += " (" + Plural(collector.refused(), "file", "files") + " refused)";
  console.Note(summary);
  return collector.refused() == 0 ? kExitOk : kExitFailure;
}

}  // namespace kzr::cli
