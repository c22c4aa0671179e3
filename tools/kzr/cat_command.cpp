// kzr cat: members written to stdout byte for byte, in the order the names
// are given (the entries a pattern selects in listing order). With the
// linked-in exports the members stream from the archive's reader; a loaded
// plugin can only extract to files, so its members are extracted into a
// private temporary folder and copied out from there.
#include <cstdio>
#include <optional>

#include "archive/archive_reader.h"
#include "archive_session.h"
#include "commands.h"
#include "interruption.h"
#include "name_pattern.h"
#include "native_fs.h"
#include "plugin/platform_files.h"
#include "plugin/result_code.h"
#include "result_codes.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace kzr::cli {
namespace {

class StdoutSink final : public MemberSink {
 public:
  Status Write(const std::uint8_t* bytes, std::size_t size) noexcept override {
    return std::fwrite(bytes, 1, size, stdout) == size ? Status::kOk : Status::kWriteFailed;
  }
};

// One chosen entry: its name, and where its member is to be had.
struct Member {
  std::string name;
  EntryView view;            // linked-in exports
  std::string file;          // a loaded plugin: the extracted copy
  int code = host::kOk;      // a loaded plugin: what the extraction answered
};

bool CopyFileOut(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::vector<char> buffer(std::size_t{1} << 20);
  bool written = true;
  std::size_t got;
  while (written && (got = std::fread(buffer.data(), 1, buffer.size(), file)) != 0) {
    written = std::fwrite(buffer.data(), 1, got, stdout) == got;
  }
  const bool read = std::ferror(file) == 0;
  std::fclose(file);
  return read && written;
}

// Writes the member to stdout: from the reader, or from its extracted copy.
int WriteOut(const Member& member, ArchiveReader* reader) {
  if (reader != nullptr) {
    StdoutSink sink;
    return host::ToResultCode(reader->ReadMember(member.view, &sink));
  }
  if (CopyFileOut(member.file)) return host::kOk;
  return std::ferror(stdout) ? host::kWriteError : host::kReadError;
}

}  // namespace

int RunCat(const Context& context, const CatOptions& options) {
  const Console& console = context.console;
  const std::string& archive = options.archive;
  console.Flush();
#if defined(_WIN32)
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  OpenFailure failure;
  std::unique_ptr<ArchiveSession> session = ArchiveSession::Open(context.api, archive, failure);
  if (!session) {
    console.Error(DescribeOpenFailure(archive, failure, context.linked()));
    return kExitFailure;
  }
  ArchiveReader* reader = session->reader();

  std::optional<std::string> folder;
  std::optional<WritingIn> writing;
  if (reader == nullptr) {
    std::string error;
    folder = MakePrivateFolder("kzr-cat" + TemporaryMark(), error);
    if (!folder) {
      console.Error("cannot make a temporary folder for the plugin's output: " + error);
      return kExitFailure;
    }
    writing.emplace(FolderPart(folder->substr(0, folder->size() - 1)));
  }
  struct Cleanup {
    const std::optional<std::string>& folder;
    ~Cleanup() {
      if (folder) RemoveFolderOfFiles(*folder);
    }
  } cleanup{folder};

  // One walk: each entry that some name selects is kept (extracted, for a
  // loaded plugin).
  std::vector<Member> members;
  std::size_t listed = 0;
  ListedEntry entry;
  int end_code;
  while ((end_code = session->Next(entry)) == host::kOk) {
    ++listed;
    bool wanted = false;
    for (const std::string& name : options.names) wanted = wanted || PatternSelects(name, entry.name);
    if (!wanted) {
      session->Skip();
      continue;
    }
    Member member{entry.name, {}, {}, host::kOk};
    if (reader != nullptr) {
      member.view = reader->index().CurrentEntry();
      session->Skip();
    } else {
      member.file = TemporaryMark() + std::to_string(members.size());
      member.code = session->Extract(*folder, member.file);
      member.file = *folder + member.file;
    }
    members.push_back(std::move(member));
  }

  bool all_done = true;
  for (const std::string& name : options.names) {
    bool found = false;
    for (const Member& member : members) {
      if (!PatternSelects(name, member.name)) continue;
      found = true;
      const int code = member.code == host::kOk ? WriteOut(member, reader) : member.code;
      if (std::ferror(stdout) || code == host::kWriteError) {
        console.NoteWriteFailed();  // reported at the end
        return kExitFailure;
      }
      if (code != host::kOk) {
        console.Error(archive + ": " + Printable(member.name) + ": " + DescribeResult(code));
        all_done = false;
      }
    }
    if (!found) {
      console.Error(archive + ": no entry matches " + name);
      all_done = false;
    }
  }
  if (std::fflush(stdout) != 0) {
    console.NoteWriteFailed();
    return kExitFailure;
  }
  if (end_code != host::kEndArchive) {
    console.Error(DescribeListingEnd(archive, listed, end_code));
    return kExitFailure;
  }
  return all_done ? kExitOk : kExitFailure;
}

}  // namespace kzr::cli
