// Turning members into files. A member is written to a temporary file beside
// its target and renamed into place only when it is whole and verified; on
// any failure the temporary file goes and whatever stood at the target is
// untouched.
//
// ExtractToFile writes to a path the caller chose (a file manager's). A
// DestinationTree extracts safely into a folder, as a command-line tool
// wants it: each entry's reported name is split into folders below the
// root, which are made as needed and held open, so that what lies below is
// reached from them and never through a link planted meanwhile; no link is
// followed, the archive being read is never written over, and a file that
// stands at the target (even one that appears while the member is written)
// is kept unless overwriting was asked for.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "archive/archive_reader.h"
#include "archive/progress.h"
#include "base/status.h"
#include "platform/files.h"

namespace kzr {

// `progress`, when given, hears of each piece written (the caller tells it
// which member begins).

// Writes the member of `entry` to the file at `path`, replacing what stands
// there. kIsTheArchive when `path` is the archive being read; what CheckEntry
// finds, before anything is written; then what reading and writing meet, or
// kAborted when `progress` asks to stop.
Status ExtractToFile(const ArchiveReader& reader, const EntryView& entry, MemberBuffers& buffers,
                     const std::string& path, Progress* progress);

// Reads the member of `entry` to its end without writing it anywhere.
Status VerifyMember(const ArchiveReader& reader, const EntryView& entry, MemberBuffers& buffers,
                    Progress* progress);

// Why a reported name cannot be extracted into a folder (nothing when it
// can): empty, or a component that the system would take for something
// else (on Windows a device name, a reserved character, a trailing dot).
std::optional<std::string> ProblemWithName(std::string_view reported);

class DestinationTree {
 public:
  // Opens the folder `root`, made when it is missing.
  Status Open(const std::string& root) noexcept;

  enum class Result {
    kWritten,
    kKept,  // a file stands at the target, and overwriting was not asked for
  };

  // Extracts the member of `entry` to the file its reported name `name`
  // names below the root; `shown` is set to that file's path. Safe from
  // several threads at once for different files.
  // kNameNotAllowed (ProblemWithName); kCannotCreate for a folder that is a
  // link or no folder; kExists for a target that is no file; kIsTheArchive;
  // then as ExtractToFile.
  Status Extract(const ArchiveReader& reader, const EntryView& entry, std::string_view name,
                 MemberBuffers& buffers, bool overwrite, Progress* progress,
                 Result& result, std::string& shown);

 private:
  // The folder for the components of `name` before its last, held.
  Status FolderFor(std::string_view name, std::shared_ptr<const Folder>& folder,
                   std::string_view& file);

  Folder root_;
  std::mutex mutex_;
  // Folders by their path relative to the root, held while the tree lives
  // (dropped wholesale when there are many; a placement in use keeps its own).
  std::unordered_map<std::string, std::shared_ptr<const Folder>> held_;
};

}  // namespace kzr
