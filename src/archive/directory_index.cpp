#include "archive/directory_index.h"

#include <bit>
#include <cstring>
#include <new>
#include <utility>

#include "archive/byte_order.h"
#include "archive/format.h"
#include "archive/key_chain.h"

namespace kzr {

using namespace format;

DirectoryIndex::LoadResult DirectoryIndex::Load(std::FILE* stream,
                                                const ArchiveHeader& header) noexcept {
  const std::uint32_t length = header.DirectoryLength();
  // The header was accepted, so offset + length equals the file length, which
  // is at most 2^31 - 1: the offset fits a long everywhere.
  if (std::fseek(stream, static_cast<long>(header.DirectoryOffset()), SEEK_SET) != 0) {
    return {LoadStatus::kReadError, nullptr};
  }
  std::unique_ptr<std::uint8_t[]> bytes(new (std::nothrow) std::uint8_t[length]);
  if (!bytes) return {LoadStatus::kNoMemory, nullptr};
  if (length != 0 && std::fread(bytes.get(), 1, length, stream) != length) {
    return {LoadStatus::kReadError, nullptr};
  }
  auto index = Build(std::move(bytes), length, header.IsMasked());
  if (!index) return {LoadStatus::kNoMemory, nullptr};
  return {LoadStatus::kOk, std::move(index)};
}

std::unique_ptr<DirectoryIndex> DirectoryIndex::Build(std::unique_ptr<std::uint8_t[]> bytes,
                                                      std::uint32_t length,
                                                      bool masked) noexcept {
  std::unique_ptr<DirectoryIndex> index(new (std::nothrow)
                                            DirectoryIndex(std::move(bytes), length));
  if (!index) return nullptr;
  try {
    // Every record takes at least 41 bytes (43 when masked): one reservation
    // covers any directory, so the walk never reallocates.
    const std::size_t smallest = masked ? kRecordLengthSize + kMinRecordLength : kMinRecordLength;
    index->records_.reserve(length / smallest + 1);
    if (masked) {
      index->WalkMasked();
    } else {
      index->WalkPlain();
    }
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  index->ResetCursor();
  return index;
}

// A masked record is a u16 RecordLength n, then n bytes masked as one chain:
// the fixed block, the name and its NUL. The walk stops at the first record
// that does not fit what is left or carries no NUL after its fixed block.
void DirectoryIndex::WalkMasked() {
  std::uint8_t* const base = bytes_.get();
  std::size_t position = 0;
  while (position < length_) {
    const std::size_t left = length_ - position;
    if (left < kRecordLengthSize) break;
    const std::uint16_t record_length = LoadU16(base + position);
    if (record_length < kMinRecordLength || record_length > left - kRecordLengthSize) break;
    std::uint8_t* const record = base + position + kRecordLengthSize;
    UnmaskRecord(record, record_length, record_length);
    // The writer ends every record with the name's NUL; only a record that
    // does not needs to be searched for one.
    if (record[record_length - 1] != 0 &&
        std::memchr(record + kRecordName, 0, record_length - kFixedBlockSize) == nullptr) {
      break;
    }
    records_.push_back(static_cast<std::uint32_t>(record - base));
    position += kRecordLengthSize + record_length;
  }
  damaged_ = position < length_;
}

namespace {

// The first NUL in [from, end), or null. Names are a few dozen bytes, too
// short for a library search to repay its setup on every record; testing eight
// bytes at a time inline is faster for them.
const std::uint8_t* FindNul(const std::uint8_t* from, const std::uint8_t* end) noexcept {
  constexpr std::uint64_t kLowBits = 0x0101010101010101ull;
  constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
  while (end - from >= 8) {
    const std::uint64_t word = LoadU32(from) | std::uint64_t{LoadU32(from + 4)} << 32;
    // Marks the high bit of every zero byte; a borrow can also mark a byte
    // above a zero one, never below, so the lowest mark is the first NUL.
    const std::uint64_t zeros = (word - kLowBits) & ~word & kHighBits;
    if (zeros != 0) return from + std::countr_zero(zeros) / 8;
    from += 8;
  }
  for (; from != end; ++from) {
    if (*from == 0) return from;
  }
  return nullptr;
}

}  // namespace

// A plain record is the fixed block followed by the name up to its NUL.
void DirectoryIndex::WalkPlain() {
  const std::uint8_t* const base = bytes_.get();
  const std::uint8_t* const end = base + length_;
  std::size_t position = 0;
  while (position < length_) {
    const std::size_t left = length_ - position;
    if (left < kMinRecordLength) break;
    const std::uint8_t* const nul = FindNul(base + position + kRecordName, end);
    if (nul == nullptr) break;
    records_.push_back(static_cast<std::uint32_t>(position));
    position = static_cast<std::size_t>(nul - base) + 1;
  }
  damaged_ = position < length_;
}

EntryView DirectoryIndex::ResetCursor() noexcept {
  cursor_ = records_.size();
  current_ = kNone;
  return cursor_ == 0 ? EntryView() : EntryAt(cursor_ - 1);
}

EntryView DirectoryIndex::CurrentEntry() const noexcept {
  return current_ == kNone ? EntryView() : EntryAt(current_);
}

}  // namespace kzr
