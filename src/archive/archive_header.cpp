#include "archive/archive_header.h"

#include <cstring>

#include "archive/byte_order.h"

namespace kzr {

using namespace format;

std::uint32_t ArchiveHeader::Magic() const noexcept { return LoadU32(bytes + kHeaderMagic); }
std::uint32_t ArchiveHeader::VersionTag() const noexcept {
  return LoadU32(bytes + kHeaderVersionTag);
}
std::uint32_t ArchiveHeader::ArchiveLength() const noexcept {
  return LoadU32(bytes + kHeaderArchiveLength);
}
std::uint32_t ArchiveHeader::EntryCount() const noexcept {
  return LoadU32(bytes + kHeaderEntryCount);
}
std::uint32_t ArchiveHeader::DirectoryOffset() const noexcept {
  return LoadU32(bytes + kHeaderDirectoryOffset);
}
std::uint32_t ArchiveHeader::DirectoryLength() const noexcept {
  return LoadU32(bytes + kHeaderDirectoryLength);
}

HeaderCheck CheckHeader(const ArchiveHeader& header, std::size_t header_bytes,
                        std::uint64_t file_length) noexcept {
  if (header_bytes < kHeaderSize) return HeaderCheck::kShortHeader;
  if (header.Magic() != kMagic) return HeaderCheck::kBadMagic;
  const std::uint32_t tag = header.VersionTag();
  if (tag != kVersionTagPlain && tag != kVersionTagMasked) return HeaderCheck::kBadVersionTag;
  if (file_length != header.ArchiveLength()) return HeaderCheck::kLengthMismatch;
  if (file_length > kMaxArchiveLength) return HeaderCheck::kTooLong;
  const std::uint64_t directory_end =
      std::uint64_t{header.DirectoryOffset()} + header.DirectoryLength();
  if (directory_end != file_length) return HeaderCheck::kDirectoryMismatch;
  return HeaderCheck::kAccepted;
}

bool HasArchiveSignature(const std::uint8_t* first_bytes, std::size_t size) noexcept {
  if (size < kSignatureSize) return false;
  return LoadU32(first_bytes + kHeaderMagic) == kMagic &&
         (LoadU32(first_bytes + kHeaderVersionTag) & kVersionTagFlavourMask) ==
             (kVersionTagPlain & kVersionTagFlavourMask);
}

ArchiveHeader MakeHeader(Flavour flavour, std::uint32_t archive_length, std::uint32_t entry_count,
                         std::uint32_t directory_offset) noexcept {
  ArchiveHeader header;
  std::memset(header.bytes, 0, sizeof header.bytes);
  StoreU32(header.bytes + kHeaderMagic, kMagic);
  StoreU32(header.bytes + kHeaderVersionTag,
           flavour == Flavour::kMasked ? kVersionTagMasked : kVersionTagPlain);
  StoreU32(header.bytes + kHeaderArchiveLength, archive_length);
  StoreU32(header.bytes + kHeaderEntryCount, entry_count);
  StoreU32(header.bytes + kHeaderDirectoryOffset, directory_offset);
  StoreU32(header.bytes + kHeaderDirectoryLength, archive_length - directory_offset);
  StoreU32(header.bytes + kHeaderFill1, kHeaderFillWord);
  StoreU32(header.bytes + kHeaderFill2, kHeaderFillWord);
  return header;
}

}  // namespace kzr
