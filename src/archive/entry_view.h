// A read-only view of one directory record's fixed block and name, as it lies
// (unmasked) in the directory copy. Identical for both flavours: the masked
// flavour's RecordLength prefix is never part of it.
#pragma once

#include <cstdint>
#include <string_view>

#include "archive/byte_order.h"
#include "archive/format.h"

namespace kzr {

class EntryView {
 public:
  EntryView() = default;
  // `name_length` counts the name's bytes before its NUL, which the directory
  // walk found inside the record.
  EntryView(const std::uint8_t* fixed_block, std::uint32_t name_length) noexcept
      : fixed_(fixed_block), name_length_(name_length) {}

  std::uint32_t DataOffset() const noexcept { return Field(format::kRecordDataOffset); }
  std::uint32_t UncompressedSize() const noexcept {
    return Field(format::kRecordUncompressedSize);
  }
  std::uint32_t CompressedSize() const noexcept { return Field(format::kRecordCompressedSize); }
  // Any non-zero value of the whole 32-bit field marks an LZW stream.
  bool IsCompressed() const noexcept { return Field(format::kRecordCompressed) != 0; }
  // What the entry occupies in the archive: the stream length of a compressed
  // entry, the member's own length otherwise.
  std::uint32_t StoredSize() const noexcept {
    return IsCompressed() ? CompressedSize() : UncompressedSize();
  }
  // NUL-terminated; the directory walk guarantees the NUL lies in the record,
  // and the directory copy has DirectoryIndex::kSlack more bytes after it,
  // so that the name may be read in blocks of 16 bytes up to and past its NUL.
  const char* Name() const noexcept {
    return reinterpret_cast<const char*>(fixed_ + format::kRecordName);
  }
  // The bytes of Name() before its NUL, without looking for it.
  std::uint32_t NameLength() const noexcept { return name_length_; }
  std::string_view StoredName() const noexcept { return {Name(), name_length_}; }

 private:
  std::uint32_t Field(std::size_t offset) const noexcept { return LoadU32(fixed_ + offset); }

  const std::uint8_t* fixed_ = nullptr;
  std::uint32_t name_length_ = 0;
};

}  // namespace kzr
