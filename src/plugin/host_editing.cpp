#include "plugin/host_editing.h"

#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_editor.h"
#include "archive/entry_names.h"
#include "platform/files.h"
#include "plugin/host_progress.h"

namespace kzr::host {
namespace {

template <typename Char>
std::vector<std::basic_string_view<Char>> SplitList(const Char* list) {
  std::vector<std::basic_string_view<Char>> items;
  for (const Char* item = list; item != nullptr && *item != Char{};) {
    const std::basic_string_view<Char> view(item);
    items.push_back(view);
    item += view.size() + 1;
  }
  return items;
}

bool EndsWithSeparator(std::string_view text) {
  return !text.empty() && IsNameSeparator(text.back());
}

}  // namespace

template <typename Char>
Status PackHostList(Face face, const Char* archive_path, const Char* sub_path,
                    const Char* source_path, const Char* add_list, bool move_files) {
  if (archive_path == nullptr) return Status::kCannotCreate;
  HostText text;
  if (Status status = text.Open(face); !status.ok()) return status;
  const std::basic_string_view<Char> folder =
      source_path != nullptr ? std::basic_string_view<Char>(source_path)
                             : std::basic_string_view<Char>();
  const std::string sub = sub_path != nullptr ? text.Name(std::basic_string_view<Char>(sub_path))
                                              : std::string();
  PackRequest request;
  request.archive = text.Path(archive_path);
  std::vector<std::string> folders;
  // Paths and names are checked before anything is read or written.
  for (const std::basic_string_view<Char> item : SplitList(add_list)) {
    if (folder.size() + item.size() > kMaxPackPathLength) return Status::kPathTooLong;
    std::basic_string<Char> joined(folder);
    joined.append(item);
    std::string source = text.Path(joined.c_str());
    const std::string item_text = text.Name(item);
    if (EndsWithSeparator(item_text)) {
      folders.push_back(std::move(source));
      continue;
    }
    // Where the host does not separate folders with `\`, a `\` in a file's
    // path is part of a file's name, which the format cannot hold: stored, it
    // would split the name into folders. (The sub-path is the archive's own
    // path, in which hosts may write `\`.)
    if (face == Face::kAnsi && kAnsiSeparator != '\\' &&
        item_text.find('\\') != std::string::npos) {
      return Status(Status::kNameNotConvertible).About(source);
    }
    request.files.push_back({std::move(source), JoinSubPath(sub, item_text)});
  }
  HostProgress progress(PackingCallbacks().Get(), text);
  if (Status status = PackArchive(request, text.names(), &progress); !status.ok()) return status;

  if (move_files) {
    // Only now that the archive holds them; what cannot be removed stays,
    // and so does the archive, when it was listed among them (and left out).
    FileIdentity archive;
    const bool archive_there = IdentityOf(request.archive, archive).ok();
    for (const NewFile& file : request.files) {
      FileIdentity source;
      if (archive_there && IdentityOf(file.source, source).ok() && source.SameFile(archive)) {
        continue;
      }
      kzr::RemoveFile(file.source);
    }
    for (auto path = folders.rbegin(); path != folders.rend(); ++path) {
      path->pop_back();  // the trailing separator
      kzr::RemoveEmptyFolder(*path);
    }
  }
  return Status::kOk;
}

template <typename Char>
Status DeleteHostList(Face face, const Char* archive_path, const Char* delete_list) {
  if (archive_path == nullptr) return Status::kCannotOpen;
  HostText text;
  if (Status status = text.Open(face); !status.ok()) return status;
  DeleteRequest request;
  request.archive = text.Path(archive_path);
  for (const std::basic_string_view<Char> item : SplitList(delete_list)) {
    std::string name = text.Name(item);
    if (const std::optional<std::string_view> whole = WholeFolderItem(name)) {
      request.folders.emplace_back(*whole);
    } else {
      request.names.push_back(std::move(name));
    }
  }
  if (face == Face::kAnsi) {
    // The ANSI listing cuts long names (to 259 bytes, or 1023 in the
    // extended record): such a name stands for the entry it was cut from.
    request.cut_form_of = [&text](std::string_view reported, std::string_view requested) {
      const std::string shown = text.ShownAnsi(reported);
      const std::string asked = text.ShownAnsi(requested);
      for (const std::size_t limit : {kHeaderNameSize - 1, kHeaderExNameSize - 1}) {
        const std::size_t cut = text.Cut(shown, limit);
        if (cut < shown.size() && asked.size() == cut && shown.compare(0, cut, asked) == 0) {
          return true;
        }
      }
      return false;
    };
  }
  HostProgress host(PackingCallbacks().Get(), text);
  PercentProgress progress(host);
  return DeleteEntries(request, text.names(), &progress);
}

template Status PackHostList(Face, const char*, const char*, const char*, const char*, bool);
template Status PackHostList(Face, const WideChar*, const WideChar*, const WideChar*,
                             const WideChar*, bool);
template Status DeleteHostList(Face, const char*, const char*);
template Status DeleteHostList(Face, const WideChar*, const WideChar*);

}  // namespace kzr::host
