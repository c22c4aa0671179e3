#include "archive/archive_reader.h"

#include <algorithm>
#include <new>

#include "codec/content_mask.h"
#include "codec/lzw_decoder.h"

namespace kzr {

// The working memory of ReadMember, made when a member first needs it.
class MemberDecoders {
 public:
  static constexpr std::size_t kChunkSize = std::size_t{1} << 20;

  std::uint8_t* Chunk() noexcept {
    if (!chunk_) chunk_.reset(new (std::nothrow) std::uint8_t[kChunkSize]);
    return chunk_.get();
  }

 private:
  std::unique_ptr<std::uint8_t[]> chunk_;
};

namespace {

// A member's stored bytes, read from the archive at their data offset.
class StoredRange final : public StoredBytes {
 public:
  StoredRange(std::FILE* file, std::uint32_t data_offset) noexcept
      : file_(file), data_offset_(data_offset) {}

  Status Read(std::uint64_t offset, std::uint8_t* to, std::size_t size) noexcept override {
    return ReadAt(file_, data_offset_ + offset, to, size) ? Status::kOk : Status::kReadFailed;
  }

 private:
  std::FILE* file_;
  std::uint32_t data_offset_;
};

}  // namespace

ArchiveReader::~ArchiveReader() = default;

Status ArchiveReader::Open(const char* path, std::unique_ptr<ArchiveReader>& reader) noexcept {
  reader.reset();
  std::unique_ptr<ArchiveReader> opened(new (std::nothrow) ArchiveReader);
  if (!opened) return Status::kNoMemory;
  if (path == nullptr) return Status::kCannotOpen;
  opened->file_ = OpenFile(path, "rb");
  if (!opened->file_) return Status::kCannotOpen;
  std::FILE* file = opened->file_.get();

  const std::size_t header_bytes = std::fread(opened->header_.bytes, 1, format::kHeaderSize, file);
  const std::optional<std::uint64_t> length = SeekToEnd(file);
  if (!length || !IsAcceptableHeader(opened->header_, header_bytes, *length)) {
    return Status::kNotAnArchive;
  }
  DirectoryIndex::LoadResult loaded = DirectoryIndex::Load(file, opened->header_);
  switch (loaded.status) {
    case DirectoryIndex::LoadStatus::kOk:
      break;
    case DirectoryIndex::LoadStatus::kNoMemory:
      return Status::kNoMemory;
    case DirectoryIndex::LoadStatus::kReadError:
      return Status::kDamagedArchive;
  }
  opened->index_ = std::move(loaded.index);
  reader = std::move(opened);
  return Status::kOk;
}

Status ArchiveReader::CheckStoredExtent(const EntryView& entry) const noexcept {
  // The stored bytes must lie wholly inside the archive; anything else is
  // corrupt data, not a short member to pass off as good.
  const std::uint64_t end = std::uint64_t{entry.DataOffset()} + entry.StoredSize();
  return end <= header_.ArchiveLength() ? Status::kOk : Status::kCorruptData;
}

Status ArchiveReader::ReadMember(const EntryView& entry, MemberSink* sink) noexcept {
  if (const Status status = CheckStoredExtent(entry); status != Status::kOk) return status;
  if (!decoders_) {
    decoders_.reset(new (std::nothrow) MemberDecoders);
    if (!decoders_) return Status::kNoMemory;
  }
  if (!entry.IsCompressed()) return StreamStored(entry, sink, header_.IsMasked());

  // Compressed: the whole stream and the whole member in memory, for now.
  const std::uint32_t stored_size = entry.CompressedSize();
  const std::uint32_t size = entry.UncompressedSize();
  std::unique_ptr<std::uint8_t[]> stored(new (std::nothrow) std::uint8_t[stored_size]);
  std::unique_ptr<std::uint8_t[]> member(new (std::nothrow) std::uint8_t[size]);
  if (!stored || !member) return Status::kNoMemory;
  StoredRange range(file_.get(), entry.DataOffset());
  if (const Status status = range.Read(0, stored.get(), stored_size); status != Status::kOk) {
    return Status::kCorruptData;
  }
  switch (DecodeLzwStream(stored.get(), stored_size, member.get(), size)) {
    case LzwStatus::kOk:
      break;
    case LzwStatus::kCorrupt:
      return Status::kCorruptData;
    case LzwStatus::kNoMemory:
      return Status::kNoMemory;
  }
  if (sink == nullptr) return Status::kOk;
  for (std::uint32_t done = 0; done < size;) {
    const std::size_t piece = std::min<std::size_t>(size - done, kMaxPiece);
    if (const Status status = sink->Write(member.get() + done, piece); status != Status::kOk) {
      return status;
    }
    done += static_cast<std::uint32_t>(piece);
  }
  return Status::kOk;
}

Status ArchiveReader::CopyStored(const EntryView& entry, MemberSink& sink) noexcept {
  if (const Status status = CheckStoredExtent(entry); status != Status::kOk) return status;
  if (!decoders_) {
    decoders_.reset(new (std::nothrow) MemberDecoders);
    if (!decoders_) return Status::kNoMemory;
  }
  return StreamStored(entry, &sink, false);
}

Status ArchiveReader::StreamStored(const EntryView& entry, MemberSink* sink, bool unmask) noexcept {
  std::uint8_t* const chunk = decoders_->Chunk();
  if (chunk == nullptr) return Status::kNoMemory;
  const std::uint32_t size = entry.StoredSize();
  const std::uint32_t member_length = entry.UncompressedSize();
  const bool ini_dat = unmask && IsIniDatName(entry.Name());
  for (std::uint32_t done = 0; done < size;) {
    const std::size_t piece = std::min<std::size_t>(size - done, MemberDecoders::kChunkSize);
    if (!ReadAt(file_.get(), std::uint64_t{entry.DataOffset()} + done, chunk, piece)) {
      return Status::kCorruptData;
    }
    if (unmask) {
      DecodeContentMask(chunk, piece, member_length);
      if (ini_dat) DecodeIniDatMask(chunk, piece, member_length, done);
    }
    if (sink != nullptr) {
      if (const Status status = sink->Write(chunk, piece); status != Status::kOk) return status;
    }
    done += static_cast<std::uint32_t>(piece);
  }
  return Status::kOk;
}

}  // namespace kzr
