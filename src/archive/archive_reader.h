// The one way into an archive. Open applies the whole acceptance rule and
// loads the directory; ReadMember applies the one decoding policy that turns
// an entry's stored bytes into the member:
//
//   Compressed != 0          the stored bytes are an LZW stream (either flavour)
//   masked flavour, else     ContentMask, then IniDatMask for names under "ini\dat\"
//   plain flavour, else      the stored bytes as they are
//
// Members stream through fixed buffers, made at the first call and kept for
// the next: memory does not grow with a member's size.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "archive/archive_header.h"
#include "archive/directory_index.h"
#include "archive/file_stream.h"
#include "base/status.h"
#include "codec/byte_stream.h"

namespace kzr {

class MemberDecoders;

class ArchiveReader {
 public:
  // Opens the file at `path` for reading, checks its header against its real
  // length and loads its directory. kOk; kCannotOpen; kNotAnArchive; kNoMemory;
  // kDamagedArchive when the directory cannot be read whole. On failure
  // nothing stays open.
  static Status Open(const char* path, std::unique_ptr<ArchiveReader>& reader) noexcept;

  ~ArchiveReader();
  ArchiveReader(const ArchiveReader&) = delete;
  ArchiveReader& operator=(const ArchiveReader&) = delete;

  const ArchiveHeader& header() const noexcept { return header_; }
  Flavour flavour() const noexcept { return header_.GetFlavour(); }
  DirectoryIndex& index() noexcept { return *index_; }
  const DirectoryIndex& index() const noexcept { return *index_; }
  // The open file, for telling whether another path names the same file.
  std::FILE* file() const noexcept { return file_.get(); }

  // Hands the member of `entry` to `sink` in order, UncompressedSize bytes in
  // all, in pieces of up to some MiB; a null sink verifies only. On failure
  // the sink has had part of the member and is of no further use.
  // kOk; kCorruptData when the stored bytes lie outside the archive or do
  // not decode; kReadFailed; kNoMemory; or what the sink answered.
  Status ReadMember(const EntryView& entry, MemberSink* sink) noexcept;

  // Hands the entry's stored bytes to `sink` exactly as the archive holds
  // them (for rewriting the archive); kCorruptData when they lie outside it.
  Status CopyStored(const EntryView& entry, MemberSink& sink) noexcept;

 private:
  ArchiveReader() = default;
  Status CheckStoredExtent(const EntryView& entry) const noexcept;
  Status StreamStored(const EntryView& entry, MemberSink* sink, bool unmask) noexcept;

  FilePtr file_;
  ArchiveHeader header_{};
  std::unique_ptr<DirectoryIndex> index_;
  std::unique_ptr<MemberDecoders> decoders_;
};

}  // namespace kzr
