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
#include "archive/entry_view.h"

namespace kzr {

// A listing hands each name out in a text field of a fixed size: the name, cut
// to kSize - 1 bytes, and NUL bytes from its end to the field's end. Filling
// the field is most of a listing step, so it is done with as few stores as
// the processor allows and with no branch on the name's length; the paths
// are exposed so that they can be checked against each other.
namespace name_field {

inline constexpr std::size_t kSize = 260;

// kWords is plain C++; kSse2 is there where SSE2 is part of the target (all
// 64-bit x86 builds); kAvx2 where the processor has it.
enum class Path { kWords, kSse2, kAvx2 };

// Whether this build and this processor can take `path`; kWords always.
bool IsAvailable(Path path) noexcept;

// Fills `field` (kSize bytes) with the `length` bytes at `name`, cut to
// kSize - 1. `readable` counts the bytes from `name` on that may be read (at
// least `length`); no byte outside them is. `path` must be available.
void FillWith(Path path, char* field, const char* name, std::size_t length,
              std::size_t readable) noexcept;

// FillWith along the fastest available path, chosen once when the library is
// loaded; called through a pointer so that a listing step makes one call.
using FillFn = void (*)(char* field, const char* name, std::size_t length,
                        std::size_t readable) noexcept;
extern const FillFn kFastestFill;
inline void Fill(char* field, const char* name, std::size_t length,
                 std::size_t readable) noexcept {
  kFastestFill(field, name, length, readable);
}

}  // namespace name_field

class DirectoryIndex {
 public:
  enum class LoadStatus { kOk, kNoMemory, kReadError };

  struct LoadResult {
    LoadStatus status;
    std::unique_ptr<DirectoryIndex> index;  // set exactly when status is kOk
  };

  // Reads the DirectoryLength bytes at DirectoryOffset of an accepted archive
  // with one read, then builds the index from them.
  static LoadResult Load(std::FILE* stream, const ArchiveHeader& header) noexcept;

  // Builds the index over `length` directory bytes, taking ownership of them.
  // Returns null when memory cannot be had.
  static std::unique_ptr<DirectoryIndex> Build(std::unique_ptr<std::uint8_t[]> bytes,
                                               std::uint32_t length, bool masked) noexcept;

  DirectoryIndex(const DirectoryIndex&) = delete;
  DirectoryIndex& operator=(const DirectoryIndex&) = delete;

  EntryView ResetCursor() noexcept;
  // Called once per listed entry; defined here so that the listing inlines it.
  // The listing goes down through the copy, which can be larger than the
  // caches: it asks for the record a few entries ahead.
  EntryView NextEntry() noexcept {
    if (cursor_ == 0) return EntryView();
    --cursor_;
    current_ = cursor_;
#if defined(__GNUC__) || defined(__clang__)
    if (cursor_ >= kPrefetchDistance) {
      const RecordSpan ahead = spans_[cursor_ - kPrefetchDistance];
      __builtin_prefetch(bytes_.get() + ahead.fixed_block + format::kRecordName);
    }
#endif
    return EntryAt(current_);
  }
  EntryView CurrentEntry() const noexcept;

  std::size_t EntryCount() const noexcept { return count_; }
  // The entry at `position` in directory order (0 is the first record), for
  // walking the directory front to back without moving the cursor.
  EntryView EntryAt(std::size_t position) const noexcept {
    const RecordSpan span = spans_[position];
    return EntryView(bytes_.get() + span.fixed_block, span.name_length);
  }
  // Puts an entry of this index into a name field of name_field::kSize bytes.
  // The bytes after a name's NUL, up to the end of the copy, may be read too.
  void FillNameField(const EntryView& entry, char* field) const noexcept {
    const auto* name = reinterpret_cast<const std::uint8_t*>(entry.Name());
    name_field::Fill(field, entry.Name(), entry.NameLength(),
                     static_cast<std::size_t>(bytes_.get() + length_ - name));
  }
  // True when the walk stopped at a record that breaks the format's limits.
  // The records before it are kept and listed.
  bool IsDamaged() const noexcept { return damaged_; }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  static constexpr std::size_t kPrefetchDistance = 16;

  DirectoryIndex(std::unique_ptr<std::uint8_t[]> bytes, std::uint32_t length) noexcept
      : bytes_(std::move(bytes)), length_(length) {}

  void WalkPlain() noexcept;

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
