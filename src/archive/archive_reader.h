// The one way into an archive. Open applies the whole acceptance rule and
// loads the directory; ReadMember applies the one decoding policy that turns
// an entry's stored bytes into the member:
//
//   Compressed != 0          the stored bytes are an LZW stream (either flavour)
//   masked flavour, else     ContentMask, then IniDatMask for names under "ini\dat\"
//   plain flavour, else      the stored bytes as they are
//
// Members stream through fixed buffers (MemberBuffers): memory does not grow
// with a member's size. The archive is read by position from one open file,
// so several threads may read members at once, each with buffers of its own,
// and every member comes from the one version of the archive that was opened.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "archive/archive_header.h"
#include "archive/directory_index.h"
#include "base/status.h"
#include "codec/byte_stream.h"
#include "platform/files.h"

namespace kzr {

class LzwDecoder;

// The working memory of one reader of members, made when a member first
// needs it and kept for the next.
class MemberBuffers {
 public:
  static constexpr std::size_t kChunkSize = std::size_t{1} << 20;

  MemberBuffers() noexcept;
  ~MemberBuffers();
  MemberBuffers(const MemberBuffers&) = delete;
  MemberBuffers& operator=(const MemberBuffers&) = delete;

  std::uint8_t* Chunk() noexcept;
  LzwDecoder* Lzw() noexcept;

 private:
  std::unique_ptr<std::uint8_t[]> chunk_;
  std::unique_ptr<LzwDecoder> lzw_;
};

// Why a file was refused as an archive.
struct HeaderFindings {
  HeaderCheck check = HeaderCheck::kAccepted;
  std::uint64_t file_length = 0;
  std::uint32_t recorded_length = 0;  // what the header says, when it was read whole
  std::uint8_t flavour = 0;
  bool signature = false;  // the first bytes are an archive's
};

// Detection: whether the file at `path` begins as an archive does
// (HasArchiveSignature).
bool LooksLikeArchive(const std::string& path) noexcept;

class ArchiveReader {
 public:
  // Opens the file at `path` for reading, checks its header against its real
  // length and loads its directory. kOk; kCannotOpen; kNotAnArchive (with
  // what the header check found in `findings`, if given); kNoMemory;
  // kDamagedArchive when the directory cannot be read whole. On failure
  // nothing stays open.
  static Status Open(const std::string& path, std::unique_ptr<ArchiveReader>& reader,
                     HeaderFindings* findings = nullptr) noexcept;

  ~ArchiveReader();
  ArchiveReader(const ArchiveReader&) = delete;
  ArchiveReader& operator=(const ArchiveReader&) = delete;

  const ArchiveHeader& header() const noexcept { return header_; }
  Flavour flavour() const noexcept {
    return header_.IsMasked() ? Flavour::kMasked : Flavour::kPlain;
  }
  const DirectoryIndex& index() const noexcept { return *index_; }
  // The open file: its identity, length and time when it was opened.
  const InputFile& file() const noexcept { return file_; }

  // What can be told of an entry before reading it: kCorruptData when its
  // stored bytes lie outside the archive, or when it claims to expand to
  // more than an archive may hold (2^31 - 1 bytes, which no writer passes).
  Status CheckEntry(const EntryView& entry) const noexcept;

  // Hands the member of `entry` to `sink` in order, UncompressedSize bytes in
  // all, in pieces of up to some MiB; a null sink verifies only. On failure
  // the sink has had part of the member and is of no further use.
  // kOk; kCorruptData when CheckEntry refuses it or the stored bytes do not
  // decode; kReadFailed; kNoMemory; or what the sink answered.
  Status ReadMember(const EntryView& entry, MemberSink* sink, MemberBuffers& buffers) const noexcept;

  // Hands the entry's stored bytes to `sink` exactly as the archive holds
  // them (for rewriting the archive); kCorruptData when they lie outside it.
  Status CopyStored(const EntryView& entry, MemberSink& sink, MemberBuffers& buffers) const noexcept;

 private:
  ArchiveReader() = default;
  Status StreamStored(const EntryView& entry, MemberSink* sink, bool unmask,
                      MemberBuffers& buffers) const noexcept;

  InputFile file_;
  ArchiveHeader header_{};
  std::unique_ptr<DirectoryIndex> index_;
};

}  // namespace kzr
