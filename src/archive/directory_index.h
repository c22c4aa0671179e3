// The in-memory directory of one open archive: a single copy of the directory
// bytes, unmasked in place once, and the records found in it, in directory
// order. Entries are views into the copy and stay valid for the life of the
// index, which does not change once built: several threads may read it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "archive/archive_header.h"
#include "archive/directory_walk.h"
#include "archive/entry_view.h"
#include "base/status.h"

namespace kzr {

class InputFile;

class DirectoryIndex {
 public:
  // Every directory copy is followed by this many zero bytes, so that a
  // name in it may be read a word at a time (EntryView::Name).
  static constexpr std::size_t kSlack = 16;

  // Builds the index over `length` directory bytes followed by kSlack zero
  // bytes, taking ownership of them. Returns null when memory cannot be had.
  static std::unique_ptr<DirectoryIndex> Build(std::unique_ptr<std::uint8_t[]> bytes,
                                               std::uint32_t length, bool masked) noexcept;

  DirectoryIndex(const DirectoryIndex&) = delete;
  DirectoryIndex& operator=(const DirectoryIndex&) = delete;

  std::size_t EntryCount() const noexcept { return count_; }
  // The entry at `position` in directory order (0 is the first record).
  // Listings show entries from the last record back.
  EntryView EntryAt(std::size_t position) const noexcept {
    const RecordSpan span = spans_[position];
    return EntryView(bytes_.get() + span.fixed_block, span.name_length);
  }
  // True when the walk stopped at a record that breaks the format's limits.
  // The records before it are kept and listed.
  bool IsDamaged() const noexcept { return damaged_; }

 private:
  explicit DirectoryIndex(std::unique_ptr<std::uint8_t[]> bytes) noexcept
      : bytes_(std::move(bytes)) {}

  std::unique_ptr<std::uint8_t[]> bytes_;
  std::unique_ptr<RecordSpan[]> spans_;
  std::size_t count_ = 0;
  bool damaged_ = false;
};

}  // namespace kzr
