// Creating an archive, adding files to one, replacing and deleting its
// entries. Every change holds the archive's lock (ArchiveLock) for the whole
// edit, writes a whole new archive beside the old one and renames it into
// place only if the archive is still the one that was read, so whatever
// fails, the archive the user had is still there, byte for byte, and
// another writer's change is never lost.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/progress.h"
#include "base/status.h"
#include "platform/code_page.h"

namespace kzr {

// The longest stored name, in bytes.
inline constexpr std::size_t kMaxStoredNameLength = 2047;

// A file to store: where it is read from, and the name it is stored under
// (text, with `\` between folders).
struct NewFile {
  std::string source;
  std::string name;
};

// What an edit did, for the user.
struct EditCounts {
  std::size_t added = 0;     // new files that replaced no entry
  std::size_t replaced = 0;  // new files that replaced one (or one row of identical names)
  std::size_t deleted = 0;   // entries deleted
};

struct PackRequest {
  std::string archive;  // its path; a link leads to the file that is changed
  std::vector<NewFile> files;
  // A new archive of just these files, in place of whatever stands at the
  // path (which the caller has made sure may be replaced). Otherwise an
  // archive there is added to, and anything else there refused.
  bool fresh = false;
};

// Stores the files, in their order, after the entries they do not replace,
// which keep their order and stored bytes; in the archive's own flavour, the
// masked one for a new archive. A file replaces the entries reported under
// exactly its name (`\` and `/` alike), or, when there are none, those whose
// names differ from it in the case of ASCII letters only.
//
// Every name is checked before anything is written: kNameNotConvertible
// (about the file) when it has no form in the code page, kPathTooLong,
// kSameMemberName when two different files would be stored under names that
// differ in case only (a file listed twice is stored once). The archive
// itself, among the files, is left out. Then kInUse, kNotAnArchive,
// kDamagedArchive, kCannotOpen, kReadFailed (a file to store changed while
// it was read), kTooLarge, kCannotCreate, kWriteFailed, kChangedMeanwhile,
// kAborted.
Status PackArchive(const PackRequest& request, CodePage& names, Progress* progress,
                   EditCounts* counts = nullptr);

struct DeleteRequest {
  std::string archive;
  std::vector<std::string> names;    // as reported
  std::vector<std::string> folders;  // ending with a separator: all below them
  // For a caller that may have shown names cut short: whether `requested`
  // is how it showed `reported`, cut. A name that matches no whole one then
  // deletes the one entry (or row of identical names) that it is the cut
  // form of, and is refused (kAmbiguousName) when it is that of several.
  std::function<bool(std::string_view reported, std::string_view requested)> cut_form_of;
  // Chooses entries by their reported names, besides those named (a
  // command-line tool's patterns), in the very archive that is edited; the
  // names of those it chose are kept in `chosen`.
  std::function<bool(std::string_view reported)> choose;
  std::vector<std::string>* chosen = nullptr;
  // Why the archive was refused, when it was (kNotAnArchive).
  HeaderFindings* findings = nullptr;
};

// Deletes the entries named, matched as PackArchive matches names. Names that
// match nothing are passed over; when nothing matches at all the archive is
// not rewritten. kInUse, kCannotOpen, kNotAnArchive, kDamagedArchive,
// kAmbiguousName, kCannotCreate, kWriteFailed, kChangedMeanwhile, kAborted.
Status DeleteEntries(const DeleteRequest& request, CodePage& names, Progress* progress,
                     EditCounts* counts = nullptr);

}  // namespace kzr
