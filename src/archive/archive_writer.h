// Writes a whole archive, front to back, into a temporary file beside its
// target, and puts it in place with one rename when it is complete and on
// the disk. Until then, whatever stood at the target stays as it was; on any
// failure the temporary file is removed.
//
// Members are streamed: a file is read once, in fixed-size chunks, masked as
// the flavour wants and appended; an existing archive's entries are copied
// with their stored bytes unchanged. Only the directory, one record per
// member, is kept in memory until the end; the header goes in last.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/format.h"
#include "archive/progress.h"
#include "base/status.h"
#include "platform/files.h"

namespace kzr {

class ArchiveWriter {
 public:
  ArchiveWriter() = default;

  // Starts an archive of `flavour` that will replace `target`. With
  // `keep_access`, the archive it replaces lends it its permissions.
  Status Begin(const std::string& target, Flavour flavour, bool keep_access) noexcept;

  // Appends the file at `source_path` as the member `stored_name` (with `\`
  // between folders), telling `progress` (if any) as it goes. kCannotOpen,
  // kReadFailed (it could not be read whole, or changed its length while
  // read), kTooLarge, kWriteFailed, kAborted; each about the file.
  Status AddFile(const std::string& source_path, const std::string& stored_name,
                 std::string_view shown_name, Progress* progress);

  // Appends an entry of another archive: its record as it stands (name,
  // sizes, compression, reserved fields) with a new data offset, and its
  // stored bytes unchanged. The two archives must be of one flavour.
  Status CopyEntry(const ArchiveReader& reader, const EntryView& entry, Progress* progress);

  // Writes the directory and the header and puts the archive in place as
  // `placing` says (durably).
  Status Finish(Placing placing);

 private:
  class Appender;
  Status Append(const std::uint8_t* bytes, std::size_t size) noexcept;
  std::uint32_t DataOffset() const noexcept { return static_cast<std::uint32_t>(output_.position()); }

  OutputFile output_;
  Flavour flavour_ = Flavour::kMasked;
  std::vector<std::uint8_t> directory_;
  std::uint32_t entry_count_ = 0;
  MemberBuffers buffers_;
};

}  // namespace kzr
