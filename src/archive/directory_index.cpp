#include "archive/directory_index.h"

#include <new>
#include <utility>

#include "archive/format.h"

namespace kzr {

using namespace format;

Status DirectoryIndex::Load(std::FILE* stream, const ArchiveHeader& header,
                            std::unique_ptr<DirectoryIndex>& index) noexcept {
  index.reset();
  const std::uint32_t length = header.DirectoryLength();
  // The header was accepted, so offset + length equals the file length, which
  // is at most 2^31 - 1: the offset fits a long everywhere.
  if (std::fseek(stream, static_cast<long>(header.DirectoryOffset()), SEEK_SET) != 0) {
    return Status::kReadFailed;
  }
  std::unique_ptr<std::uint8_t[]> bytes(new (std::nothrow) std::uint8_t[length]);
  if (!bytes) return Status::kNoMemory;
  if (length != 0 && std::fread(bytes.get(), 1, length, stream) != length) {
    return Status::kReadFailed;
  }
  index = Build(std::move(bytes), length, header.IsMasked());
  return index ? Status::kOk : Status::kNoMemory;
}

std::unique_ptr<DirectoryIndex> DirectoryIndex::Build(std::unique_ptr<std::uint8_t[]> bytes,
                                                      std::uint32_t length,
                                                      bool masked) noexcept {
  std::unique_ptr<DirectoryIndex> index(new (std::nothrow)
                                            DirectoryIndex(std::move(bytes), length));
  if (!index) return nullptr;
  // Every record takes at least 41 bytes (43 when masked): this many spans
  // hold any directory, so the walk never checks for room.
  const std::size_t smallest = masked ? kRecordLengthSize + kMinRecordLength : kMinRecordLength;
  const std::size_t capacity = length / smallest;
  if (capacity != 0) {
    index->spans_.reset(new (std::nothrow) RecordSpan[capacity]);
    if (!index->spans_) return nullptr;
  }
  RecordSpan* const spans = index->spans_.get();
  const DirectoryWalk walk = masked ? WalkMasked(index->bytes_.get(), length, spans)
                                    : WalkPlain(index->bytes_.get(), length, spans);
  index->count_ = walk.records;
  index->damaged_ = walk.end < length;
  index->ResetCursor();
  return index;
}

EntryView DirectoryIndex::ResetCursor() noexcept {
  cursor_ = count_;
  current_ = kNone;
  return cursor_ == 0 ? EntryView() : EntryAt(cursor_ - 1);
}

}  // namespace kzr
