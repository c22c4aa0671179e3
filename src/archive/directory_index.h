// The in-memory directory of one open archive: a single copy of the directory
// bytes, unmasked in place once, the records found in it, and a read cursor.
//
// Entries are reported in the reverse of directory order (the last record
// first), each once; afterwards the cursor stays exhausted and the entry
// reported last stays current. Entries are views into the copy and stay valid
// for the life of the index.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "archive/archive_header.h"
#include "archive/directory_walk.h"
#include "archive/entry_view.h"
#include "base/status.h"

namespace kzr {

class DirectoryIndex {
 public:
  // Reads the DirectoryLength bytes at DirectoryOffset of an accepted archive
  // with one read, then builds the index from them into `index`: kOk, or
  // kNoMemory or kReadFailed with `index` left empty.
  static Status Load(std::FILE* stream, const ArchiveHeader& header,
                     std::unique_ptr<DirectoryIndex>& index) noexcept;

  // Builds the index over `length` directory bytes, taking ownership of them.
  // Returns null when memory cannot be had.
  static std::unique_ptr<DirectoryIndex> Build(std::unique_ptr<std::uint8_t[]> bytes,
                                               std::uint32_t length, bool masked) noexcept;

  DirectoryIndex(const DirectoryIndex&) = delete;
  DirectoryIndex& operator=(const DirectoryIndex&) = delete;

  EntryView ResetCursor() noexcept;
  // Called once per listed entry; defined here so that the listing inlines it.
  EntryView NextEntry() noexcept {
    if (cursor_ == 0) return EntryView();
    --cursor_;
    current_ = cursor_;
    return EntryAt(current_);
  }
  EntryView CurrentEntry() const noexcept {
    return current_ == kNone ? EntryView() : EntryAt(current_);
  }

  std::size_t EntryCount() const noexcept { return count_; }
  // The entry at `position` in directory order (0 is the first record), for
  // walking the directory front to back without moving the cursor.
  EntryView EntryAt(std::size_t position) const noexcept {
    const RecordSpan span = spans_[position];
    return EntryView(bytes_.get() + span.fixed_block, span.name_length,
                     length_ - span.fixed_block - static_cast<std::uint32_t>(format::kRecordName));
  }
  // True when the walk stopped at a record that breaks the format's limits.
  // The records before it are kept and listed.
  bool IsDamaged() const noexcept { return damaged_; }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  DirectoryIndex(std::unique_ptr<std::uint8_t[]> bytes, std::uint32_t length) noexcept
      : bytes_(std::move(bytes)), length_(length) {}


  std::unique_ptr<std::uint8_t[]> bytes_;
  std::uint32_t length_;
  // The records in directory order, `count_` of them. Listing runs from the
  // back, which gives the reverse order without a linked list.
  std::unique_ptr<RecordSpan[]> spans_;
  std::size_t count_ = 0;
  std::size_t cursor_ = 0;  // records still to be reported
  std::size_t current_ = kNone;
  bool damaged_ = false;
};

}  // namespace kzr
