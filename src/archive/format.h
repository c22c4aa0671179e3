// The KZR archive layout: the one place where its offsets, sizes and magic
// numbers are written down. Reader and writer both take them from here.
//
//   [ArchiveHeader, 52 bytes][member data, back to back][directory of records]
//
// Numbers are little-endian and unsigned. Streams are positioned with signed
// 32-bit offsets, so an archive is at most 2^31 - 1 bytes long.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kzr {

// The plain flavour stores records and members as they are; the masked one
// masks each record with the directory key chain and stores uncompressed
// members through the content masks. The flavour is the header's byte 4.
enum class Flavour : std::uint8_t { kPlain = 0, kMasked = 1 };

}  // namespace kzr

namespace kzr::format {

inline constexpr std::uint32_t kMaxArchiveLength = 0x7FFFFFFF;

// ArchiveHeader.
inline constexpr std::size_t kHeaderSize = 52;
inline constexpr std::uint32_t kMagic = 0x46474942;             // "BIGF"
inline constexpr std::uint32_t kVersionTagPlain = 0x4C425A00;   // flavour 0, "ZBL"
inline constexpr std::uint32_t kVersionTagMasked = 0x4C425A01;  // flavour 1, "ZBL"
inline constexpr std::uint32_t kVersionTagFlavourMask = 0xFFFFFF00;
inline constexpr std::uint32_t kHeaderFillWord = 0xFEFEFEFE;    // the last two reserved words

inline constexpr std::size_t kHeaderMagic = 0;
inline constexpr std::size_t kHeaderFlavour = 4;  // first byte of the version tag
inline constexpr std::size_t kHeaderVersionTag = 4;
inline constexpr std::size_t kHeaderArchiveLength = 8;
inline constexpr std::size_t kHeaderEntryCount = 16;
inline constexpr std::size_t kHeaderDirectoryOffset = 20;
inline constexpr std::size_t kHeaderDirectoryLength = 28;
inline constexpr std::size_t kHeaderFill1 = 44;
inline constexpr std::size_t kHeaderFill2 = 48;

// Detection looks at the magic and the version tag only.
inline constexpr std::size_t kSignatureSize = 8;

// EntryRecord: a 40-byte fixed block, then the name and its NUL. In the masked
// flavour a plain u16 RecordLength (the count of bytes after it) comes first.
inline constexpr std::size_t kFixedBlockSize = 40;
inline constexpr std::size_t kRecordLengthSize = 2;
inline constexpr std::size_t kMinRecordLength = kFixedBlockSize + 1;  // empty name
inline constexpr std::size_t kRecordDataOffset = 0;
inline constexpr std::size_t kRecordUncompressedSize = 20;
inline constexpr std::size_t kRecordCompressedSize = 28;
inline constexpr std::size_t kRecordCompressed = 32;
inline constexpr std::size_t kRecordName = 40;

// Longest name a masked record can carry: RecordLength is a u16.
inline constexpr std::size_t kMaxMaskedNameLength = 0xFFFF - kMinRecordLength;

// The directory key chain's table, indexed by the low nibble of the previous
// stored byte (of the RecordLength prefix for a record's first byte).
inline constexpr std::array<std::uint8_t, 16> kDirectoryKeyTable = {
    0x5C, 0x0B, 0x97, 0xE2, 0x18, 0x6D, 0xC4, 0x39,
    0xA0, 0x7E, 0x23, 0xF5, 0x8B, 0x41, 0xD6, 0x0F,
};

}  // namespace kzr::format
