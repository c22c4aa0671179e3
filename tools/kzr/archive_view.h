// An archive as a command sees it: opened once, its directory read once, and
// its entries in listing order (the last record first) with the names they
// are reported under. Every job of a command reads members through this one
// open file, so a command sees one version of the archive, whatever another
// program does to the path meanwhile.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "commands.h"
#include "platform/code_page.h"

namespace kzr::cli {

struct Entry {
  EntryView view;
  std::string_view name;  // reported: text, with `\` between folders
};

class ArchiveView {
 public:
  ArchiveView() = default;
  // The entries' names point into names_text_, which stays where it is.
  ArchiveView(const ArchiveView&) = delete;
  ArchiveView& operator=(const ArchiveView&) = delete;

  // Opens the archive and names its entries; false, with the reason said to
  // the user (and kept in error()), when it cannot.
  bool Open(const Context& context, const std::string& path);
  const std::string& error() const { return error_; }

  const ArchiveReader& reader() const { return *reader_; }
  CodePage& names() const { return *names_; }
  const std::vector<Entry>& entries() const { return entries_; }
  // The directory breaks the format's limits after these entries.
  bool damaged() const { return reader_->index().IsDamaged(); }

 private:
  std::unique_ptr<CodePage> names_;
  std::unique_ptr<ArchiveReader> reader_;
  std::vector<Entry> entries_;
  std::string names_text_;  // the reported names, one after another
  std::string error_;
};

// Why the archive at `path` could not be opened: "PATH: not found", "PATH:
// is a folder, not an archive", "PATH: damaged: the header says ...".
std::string OpenFailure(const std::string& path, const Status& status,
                        const HeaderFindings& findings);

// A reported name as the user's system writes paths: with its separator.
std::string Shown(std::string_view name);

// "ARCHIVE: damaged directory; only the N entries before the damage could
// be read".
std::string DamageMessage(const std::string& archive, std::size_t entries);

}  // namespace kzr::cli
