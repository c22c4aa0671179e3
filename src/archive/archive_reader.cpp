#include "archive/archive_reader.h"

#include <algorithm>
#include <new>

#include "codec/content_mask.h"
#include "codec/lzw_decoder.h"

namespace kzr {

MemberBuffers::MemberBuffers() noexcept = default;
MemberBuffers::~MemberBuffers() = default;

std::uint8_t* MemberBuffers::Chunk() noexcept {
  if (!chunk_) chunk_.reset(new (std::nothrow) std::uint8_t[kChunkSize]);
  return chunk_.get();
}

LzwDecoder* MemberBuffers::Lzw() noexcept {
  if (!lzw_) lzw_ = LzwDecoder::Create();
  return lzw_.get();
}

namespace {

// A member's stored bytes, read from the archive at their data offset.
class StoredRange final : public StoredBytes {
 public:
  StoredRange(const InputFile& file, std::uint32_t data_offset) noexcept
      : file_(file), data_offset_(data_offset) {}

  Status Read(std::uint64_t offset, std::uint8_t* to, std::size_t size) noexcept override {
    return file_.ReadAt(data_offset_ + offset, to, size);
  }

 private:
  const InputFile& file_;
  std::uint32_t data_offset_;
};

}  // namespace

bool LooksLikeArchive(const std::string& path) noexcept {
  InputFile file;
  std::uint8_t first[format::kSignatureSize];
  return file.Open(path).ok() && file.length() >= sizeof first &&
         file.ReadAt(0, first, sizeof first).ok() && HasArchiveSignature(first, sizeof first);
}

ArchiveReader::~ArchiveReader() = default;

Status ArchiveReader::Open(const std::string& path, std::unique_ptr<ArchiveReader>& reader,
                           HeaderFindings* findings) noexcept {
  reader.reset();
  std::unique_ptr<ArchiveReader> opened(new (std::nothrow) ArchiveReader);
  if (!opened) return Status::kNoMemory;
  if (Status status = opened->file_.Open(path); !status.ok()) return status;

  const std::uint64_t length = opened->file_.length();
  const std::size_t header_bytes =
      static_cast<std::size_t>(std::min<std::uint64_t>(length, format::kHeaderSize));
  const HeaderCheck check = opened->file_.ReadAt(0, opened->header_.bytes, header_bytes).ok()
                                ? CheckHeader(opened->header_, header_bytes, length)
                                : HeaderCheck::kShortHeader;
  if (check != HeaderCheck::kAccepted) {
    if (findings != nullptr) {
      findings->check = check;
      findings->file_length = length;
      findings->recorded_length =
          header_bytes == format::kHeaderSize ? opened->header_.ArchiveLength() : 0;
      findings->flavour = opened->header_.FlavourByte();
      findings->signature = HasArchiveSignature(opened->header_.bytes, header_bytes);
    }
    return Status(Status::kNotAnArchive).About(path);
  }
  // The directory, read with one read into a copy with kSlack zero bytes after it.
  const ArchiveHeader& header = opened->header_;
  const std::uint32_t directory_length = header.DirectoryLength();
  std::unique_ptr<std::uint8_t[]> directory(
      new (std::nothrow) std::uint8_t[directory_length + DirectoryIndex::kSlack]);
  if (!directory) return Status::kNoMemory;
  std::fill_n(directory.get() + directory_length, DirectoryIndex::kSlack, std::uint8_t{0});
  if (directory_length != 0 &&
      !opened->file_.ReadAt(header.DirectoryOffset(), directory.get(), directory_length).ok()) {
    return Status(Status::kDamagedArchive).About(path);  // the directory cannot be read whole
  }
  opened->index_ = DirectoryIndex::Build(std::move(directory), directory_length, header.IsMasked());
  if (!opened->index_) return Status::kNoMemory;
  reader = std::move(opened);
  return Status::kOk;
}

Status ArchiveReader::CheckEntry(const EntryView& entry) const noexcept {
  // The stored bytes must lie wholly inside the archive; anything else is
  // corrupt data, not a short member to pass off as good.
  const std::uint64_t end = std::uint64_t{entry.DataOffset()} + entry.StoredSize();
  if (end > header_.ArchiveLength()) return Status::kCorruptData;
  if (entry.UncompressedSize() > format::kMaxArchiveLength) return Status::kCorruptData;
  return Status::kOk;
}

Status ArchiveReader::ReadMember(const EntryView& entry, MemberSink* sink,
                                 MemberBuffers& buffers) const noexcept {
  if (Status status = CheckEntry(entry); !status.ok()) return status;
  if (!entry.IsCompressed()) return StreamStored(entry, sink, header_.IsMasked(), buffers);

  LzwDecoder* const lzw = buffers.Lzw();
  if (lzw == nullptr) return Status::kNoMemory;
  StoredRange stored(file_, entry.DataOffset());
  Status status = lzw->Decode(stored, entry.CompressedSize(), entry.UncompressedSize(), sink);
  // The extent was checked: bytes that cannot be read are damage too.
  return status == Status::kReadFailed ? Status(Status::kCorruptData) : status;
}

Status ArchiveReader::CopyStored(const EntryView& entry, MemberSink& sink,
                                 MemberBuffers& buffers) const noexcept {
  const std::uint64_t end = std::uint64_t{entry.DataOffset()} + entry.StoredSize();
  if (end > header_.ArchiveLength()) return Status::kCorruptData;
  return StreamStored(entry, &sink, false, buffers);
}

Status ArchiveReader::StreamStored(const EntryView& entry, MemberSink* sink, bool unmask,
                                   MemberBuffers& buffers) const noexcept {
  std::uint8_t* const chunk = buffers.Chunk();
  if (chunk == nullptr) return Status::kNoMemory;
  const std::uint32_t size = entry.StoredSize();
  const std::uint32_t member_length = entry.UncompressedSize();
  const bool ini_dat = unmask && IsIniDatName(entry.Name());
  for (std::uint32_t done = 0; done < size;) {
    const std::size_t piece = std::min<std::size_t>(size - done, MemberBuffers::kChunkSize);
    if (!file_.ReadAt(std::uint64_t{entry.DataOffset()} + done, chunk, piece).ok()) {
      return Status::kCorruptData;
    }
    if (unmask) {
      DecodeContentMask(chunk, piece, member_length);
      if (ini_dat) DecodeIniDatMask(chunk, piece, member_length, done);
    }
    if (sink != nullptr) {
      if (Status status = sink->Write(chunk, piece); !status.ok()) return status;
    }
    done += static_cast<std::uint32_t>(piece);
  }
  return Status::kOk;
}

}  // namespace kzr
