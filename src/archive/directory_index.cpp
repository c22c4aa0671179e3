#include "archive/directory_index.h"

#include <algorithm>
#include <new>
#include <utility>

#include "archive/format.h"
#include "platform/files.h"

namespace kzr {

using namespace format;

std::unique_ptr<DirectoryIndex> DirectoryIndex::Build(std::unique_ptr<std::uint8_t[]> bytes,
                                                      std::uint32_t length,
                                                      bool masked) noexcept {
  std::unique_ptr<DirectoryIndex> index(new (std::nothrow)
                                            DirectoryIndex(std::move(bytes)));
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
