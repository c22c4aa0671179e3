// The 52-byte ArchiveHeader: acceptance at open, detection, and encoding.
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/format.h"

namespace kzr {

struct ArchiveHeader {
  std::uint8_t bytes[format::kHeaderSize];

  std::uint32_t Magic() const noexcept;
  std::uint32_t VersionTag() const noexcept;
  // Byte 4 as it stands; an accepted header holds 0 or 1 there.
  std::uint8_t FlavourByte() const noexcept { return bytes[format::kHeaderFlavour]; }
  bool IsMasked() const noexcept { return FlavourByte() == static_cast<std::uint8_t>(Flavour::kMasked); }
  std::uint32_t ArchiveLength() const noexcept;
  std::uint32_t EntryCount() const noexcept;
  std::uint32_t DirectoryOffset() const noexcept;
  std::uint32_t DirectoryLength() const noexcept;
};

// The acceptance checks of a header, in the fixed order they run: whole
// header read, magic, version tag (flavour 0 or 1), the recorded length
// against the real one, the format's largest length (2^31 - 1), and directory
// offset + length (summed without wrapping) against the real length. Nothing
// else in the header is looked at.
enum class HeaderCheck {
  kAccepted,
  kShortHeader,         // fewer than 52 bytes could be read
  kBadMagic,
  kBadVersionTag,       // not "ZBL" after a flavour byte of 0 or 1
  kLengthMismatch,      // ArchiveLength is not the file's length
  kTooLong,             // the file is longer than an archive may be
  kDirectoryMismatch,   // the directory does not end where the file does
};

// The first check that a file fails whose first `header_bytes` bytes are in
// `header` and whose length is `file_length`.
HeaderCheck CheckHeader(const ArchiveHeader& header, std::size_t header_bytes,
                        std::uint64_t file_length) noexcept;

// Detection: the magic and the "ZBL" tag in the first eight bytes. The flavour
// byte is not looked at, so a recognised file may still be refused at open.
bool HasArchiveSignature(const std::uint8_t* first_bytes, std::size_t size) noexcept;

// The header a writer stores: the directory runs from `directory_offset` to
// `archive_length`; the two last reserved words hold the fill pattern.
ArchiveHeader MakeHeader(Flavour flavour, std::uint32_t archive_length, std::uint32_t entry_count,
                         std::uint32_t directory_offset) noexcept;

}  // namespace kzr
