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

  LzwDecoder* Lzw() noexcept {
    if (!lzw_) lzw_ = LzwDecoder::Create();
    return lzw_.get();
  }

 private:
  std::unique_ptr<std::uint8_t[]> chunk_;
  std::unique_ptr<LzwDecoder> lzw_;
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
  opened->file_ = OpenForReading(path);
  if (!opened->file_) return Status::kCannotOpen;
  std::FILE* file = opened->file_.get();

  const std::size_t header_bytes = std::fread(opened->header_.bytes, 1, format::kHeaderSize, file);
  const std::optional<std::uint64_t> length = SeekToEnd(file);
  if (!length || !IsAcceptableHeader(opened->header_, header_bytes, *length)) {
    return Status::kNotAnArchive;
  }
  switch (DirectoryIndex::Load(file, opened->header_, opened->index_)) {
    case Status::kOk:
      break;
    case Status::kNoMemory:
      return Status::kNoMemory;
    default:
      return Status::kDamagedArchive;  // the directory cannot be read whole
  }
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

  LzwDecoder* const lzw = decoders_->Lzw();
  if (lzw == nullptr) return Status::kNoMemory;
  StoredRange stored(file_.get(), entry.DataOffset());
  const Status status = lzw->Decode(stored, entry.CompressedSize(), entry.UncompressedSize(), sink);
  // The extent was checked: bytes that cannot be read are damage too.
  return status == Status::kReadFailed ? Status::kCorruptData : status;
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
