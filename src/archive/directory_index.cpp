#include "archive/directory_index.h"

#include <algorithm>
#include <new>
#include <utility>

#include "archive/format.h"
#include "platform/files.h"

namespace kzr {

using namespace format;

Status DirectoryIndex::Load(const InputFile& file, const ArchiveHeader& header,
                            std::unique_ptr<DirectoryIndex>& index) noexcept {
  index.reset();
  const std::uint32_t length = header.DirectoryLength();
  std::unique_ptr<std::uint8_t[]> bytes(new (std::nothrow) std::uint8_t[length + kSlack]);
  if (!bytes) return Status::kNoMemory;
  std::fill_n(bytes.get() + length, kSlack, std::uint8_t{0});
  if (length != 0) {
    if (Status status = file.ReadAt(header.DirectoryOffset(), bytes.get(), length); !status.ok()) {
      return status;
    }
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
  return index;
}

}  // namespace kzr
