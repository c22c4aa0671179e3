// kzr pack and kzr add: the files found under the given paths, named
// relative to the source folder, in a stable order (by stored name), stored
// by the library's editor (archive_editor.h). Pack makes a new archive, add
// adds to one; either way the archive that stood there is kept whatever
// fails. A file whose name cannot be stored is refused by name, and the
// rest is packed.
#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "archive/archive_editor.h"
#include "archive/archive_header.h"
#include "archive/entry_names.h"
#include "archive/extraction.h"
#include "archive_view.h"
#include "commands.h"
#include "messages.h"
#include "name_pattern.h"
#include "platform/files.h"
#include "progress.h"
#include "quantities.h"

namespace kzr::cli {
namespace {

// A sub-path inside the archive ("a/b", "a\b\", ...) in the stored form:
// components joined by `\`, ending with `\`; nothing, with the reason, when
// a component could lead elsewhere.
std::optional<std::string> StoredPrefix(std::string_view prefix, std::string& reason) {
  while (!prefix.empty() && IsNameSeparator(prefix.back())) prefix.remove_suffix(1);
  std::string stored = JoinSubPath(prefix, "");
  if (stored.empty() || IsNameSeparator(stored.front()) || !IsCleanName(stored.substr(0, stored.size() - 1))) {
    reason = "an empty, '.' or '..' component, or an absolute path";
    return std::nullopt;
  }
  if (std::optional<std::string> problem = ProblemWithName(stored.substr(0, stored.size() - 1))) {
    reason = *problem;
    return std::nullopt;
  }
  return stored;
}

class FileCollector {
 public:
  FileCollector(const Console& console, CodePage& names, std::string root, std::string prefix,
                const std::vector<std::string>& excludes)
      : console_(console), names_(names), root_(WithTrailingSeparator(std::move(root))),
        prefix_(std::move(prefix)), excludes_(excludes) {}

  // Adds the file or the folder tree at `item` (relative to the root).
  bool Add(const std::string& item, const std::string& shown) {
    switch (KindOf(root_ + item, true)) {
      case FileKind::kFile:
        AddFile(item);
        return true;
      case FileKind::kFolder:
        if (AddFolder(item) == 0) {
          console_.Warning(shown + ": skipped: an empty folder (archives hold files only)");
        }
        return true;
      default: {
        FileIdentity identity;
        const Status status = IdentityOf(root_ + item, identity);
        console_.Error(shown + ": " + (status.ok() ? "not a file or folder" : Describe(status)));
        return false;
      }
    }
  }

  // By stored name (in the names' code page), so sorted as the stored names
  // sort, whichever system packs them, and without repeats.
  const std::map<std::string, NewFile>& files() const { return files_; }
  std::size_t refused() const { return refused_; }

 private:
  void AddFile(const std::string& item) {
    const std::string name = JoinSubPath(prefix_, item);
    for (const std::string& pattern : excludes_) {
      if (PatternSelects(pattern, name)) return;
    }
    // Where `\` is no separator, one in a name would be a folder separator
    // in the archive.
    if (kPathSeparator != '\\' && item.find('\\') != std::string::npos) {
      return Refuse(item, "refused: a '\\' in the name, which archives read as a separator");
    }
    if (!IsCleanName(name)) return Refuse(item, "refused: an unsafe name");
    std::string stored;
    if (!names_.ToStored(name, stored)) {
      return Refuse(item, "refused: the name has characters that the names' code page (" +
                              names_.name() + ") cannot hold, or holds only as another name");
    }
    if (stored.size() > kMaxStoredNameLength) {
      return Refuse(item, "refused: the stored name is longer than " +
                              std::to_string(kMaxStoredNameLength) + " bytes");
    }
    const auto [same, fresh] = keys_.emplace(FoldedKey(name), item);
    if (!fresh && same->second == item) return;  // named twice, packed once
    if (!fresh) {
      return Refuse(item, "refused: it would be stored under the same name as " + same->second);
    }
    files_.emplace(std::move(stored), NewFile{root_ + item, name});
  }

  void Refuse(const std::string& item, const std::string& cause) {
    console_.Error(root_ + item + ": " + cause);
    ++refused_;
  }

  // Returns the number of files found below `folder`.
  std::size_t AddFolder(const std::string& folder) {
    const std::string path = folder.empty() ? root_ : root_ + folder;
    std::vector<FolderEntry> entries;
    if (Status status = ListFolder(path, entries); !status.ok()) {
      console_.Error(path + ": cannot read the folder: " + Describe(status));
      ++refused_;
      return 0;
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    std::size_t found = 0;
    for (const FolderEntry& entry : entries) {
      const std::string item = folder.empty() ? entry.name : folder + kPathSeparator + entry.name;
      const std::string full = root_ + item;
      switch (entry.kind) {
        case FileKind::kFile:
          AddFile(item);
          ++found;
          break;
        case FileKind::kFolder:
          if (const std::size_t below = AddFolder(item); below != 0) {
            found += below;
          } else {
            console_.Warning(full + ": skipped: an empty folder (archives hold files only)");
          }
          break;
        case FileKind::kLink:
          // A linked file is packed with the link's name; linked folders
          // are not entered, so no link can lead the walk in a circle.
          if (KindOf(full, true) == FileKind::kFile) {
            AddFile(item);
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
  CodePage& names_;
  const std::string root_;
  const std::string prefix_;
  const std::vector<std::string>& excludes_;
  std::map<std::string, NewFile> files_;     // stored name -> file
  std::map<std::string, std::string> keys_;  // folded name -> item
  std::size_t refused_ = 0;
};

// Writes the file at `path` to standard output, byte for byte.
bool CopyToStandardOutput(const std::string& path) {
#if defined(_WIN32)
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  InputFile file;
  if (!file.Open(path).ok()) return false;
  std::vector<char> chunk(std::size_t{1} << 20);
  for (std::uint64_t done = 0; done < file.length();) {
    const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(),
                                                                             file.length() - done));
    if (!file.ReadAt(done, chunk.data(), piece).ok() ||
        std::fwrite(chunk.data(), 1, piece, stdout) != piece) {
      return false;
    }
    done += piece;
  }
  return std::fflush(stdout) == 0;
}

// The packing progress: one job, whose file is done when the next begins.
class PackProgress final : public Progress {
 public:
  explicit PackProgress(ProgressBar& bar) : job_(bar) {}
  bool Begin(std::string_view name, std::uint64_t size) override {
    if (last_) job_.Finish(*last_);
    last_ = size;
    return job_.Begin(Shown(name), size);
  }
  bool Advance(std::uint64_t bytes) override { return job_.Advance(bytes); }

 private:
  ProgressBar::Job job_;
  std::optional<std::uint64_t> last_;  // the size of the file under way
};

}  // namespace

int RunPack(const Context& context, const PackOptions& options) {
  const Console& console = context.console;
  const std::string& path = options.archive;
  if (KindOf(options.folder, true) != FileKind::kFolder) {
    console.Error(options.folder + ": " +
                  (KindOf(options.folder, true) == FileKind::kMissing ? "not found" : "not a folder"));
    return kExitFailure;
  }
  const std::string root = AbsolutePath(options.folder);
  std::unique_ptr<CodePage> names = context.OpenNames();
  if (!names) return kExitFailure;

  std::string prefix;
  if (options.prefix) {
    std::string reason, in_code_page;
    std::optional<std::string> stored = StoredPrefix(*options.prefix, reason);
    if (stored && !names->ToStored(*stored, in_code_page)) {
      reason = "the names' code page cannot hold it";
      stored.reset();
    }
    if (!stored) {
      console.Error("--prefix " + *options.prefix + ": refused: " + reason);
      return kExitUsage;
    }
    prefix = *stored;
  }

  // Relative paths are taken from the source folder, as the names are.
  FileCollector collector(console, *names, root, prefix, options.excludes);
  bool collected = true;
  for (const std::string& source : options.paths) {
    const std::string joined = IsAbsolutePath(source) ? source : WithTrailingSeparator(root) + source;
    const std::optional<std::string> item = RelativeInside(AbsolutePath(joined), root);
    if (!item) {
      console.Error(source + ": not inside the source folder " + options.folder);
      collected = false;
      continue;
    }
    collected = collector.Add(*item, source) && collected;
  }
  if (!collected) return kExitFailure;

  // An archive for standard output is made in a temporary file first: its
  // header is written last.
  const bool to_stdout = path == "-" && !options.add;
  const std::string archive =
      to_stdout ? TemporaryPathFor(WithTrailingSeparator(TemporaryFolder()) + "kzr-stdout", "archive")
                : path;
  const FileKind existing = to_stdout ? FileKind::kMissing : KindOf(path, true);
  if (existing != FileKind::kMissing && existing != FileKind::kFile) {
    console.Error(path + ": exists and is not a file");
    return kExitFailure;
  }
  if (!options.add && existing == FileKind::kFile && !options.overwrite) {
    console.Error(path + (LooksLikeArchive(path)
                              ? ": exists; kept (kzr add adds to it, --overwrite replaces it)"
                              : ": exists and is not a KZR archive; kept (--overwrite replaces it)"));
    return kExitFailure;
  }
  if (!options.add && existing == FileKind::kFile) {
    if (Status status = MayChange(FileBehindLinks(path)); !status.ok()) {
      console.Error(Explain(status, path) + "; the archive is kept as it was");
      return kExitFailure;
    }
  }

  PackRequest request;
  request.archive = archive;
  request.fresh = !options.add;
  std::uint64_t bytes = 0;  // asked of the files only for a bar (a call for each)
  const bool sized = ProgressBar::CanShow(console.quiet());
  for (const auto& [stored, file] : collector.files()) {
    request.files.push_back(file);
    FileIdentity identity;
    if (sized && IdentityOf(file.source, identity).ok()) bytes += identity.size;
  }
  EditCounts counts;
  {
    ProgressBar bar("packing", console.quiet(), request.files.size(), bytes);
    PackProgress progress(bar);
    if (Status status = PackArchive(request, *names, &progress, &counts); !status.ok()) {
      const std::string kept = existing == FileKind::kFile ? "; the archive is kept as it was" : "";
      const bool about_archive = status.path().empty() || status.path() == FileBehindLinks(path);
      console.Error(path + ": " + (about_archive ? "" : status.path() + ": ") + Describe(status) +
                    kept);
      return kExitFailure;
    }
  }
  if (to_stdout) {
    const bool copied = CopyToStandardOutput(archive);
    RemoveFile(archive);
    if (!copied) {
      console.NoteWriteFailed();
      return kExitFailure;
    }
    return collector.refused() == 0 ? kExitOk : kExitFailure;
  }
  if (console.verbose()) {
    for (const NewFile& file : request.files) console.Out(Printable(Shown(file.name)) + "\n");
  }
  std::string summary;
  if (options.add && counts.replaced != 0) {
    summary = (counts.added != 0 ? "added " + Plural(counts.added, "file", "files") + " and " : "") +
              "replaced " + Plural(counts.replaced, "entry", "entries") + " in " + path;
  } else if (options.add) {
    summary = "added " + Plural(counts.added, "file", "files") + " to " + path;
  } else {
    summary = "packed " + Plural(counts.added, "file", "files") + " into " + path;
  }
  if (collector.refused() != 0) {
    summary += " (" + Plural(collector.refused(), "file", "files") + " refused)";
  }
  console.Note(summary);
  return collector.refused() == 0 ? kExitOk : kExitFailure;
}

}  // namespace kzr::cli
