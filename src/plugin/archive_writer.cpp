#include "plugin/archive_writer.h"

#include <new>

#include "archive/directory_record.h"
#include "codec/content_mask.h"

namespace kzr {
namespace {

constexpr std::size_t kChunkSize = std::size_t{1} << 20;

}  // namespace

// Hands an entry's stored bytes to the archive being written.
class ArchiveWriter::Appender final : public MemberSink {
 public:
  explicit Appender(ArchiveWriter& writer) noexcept : writer_(writer) {}
  Status Write(const std::uint8_t* bytes, std::size_t size) noexcept override {
    return writer_.Append(bytes, size);
  }

 private:
  ArchiveWriter& writer_;
};

Status ArchiveWriter::Begin(const std::string& target, Flavour flavour, bool keep_access) {
  flavour_ = flavour;
  directory_.clear();
  entry_count_ = 0;
  if (!chunk_) chunk_.reset(new (std::nothrow) std::uint8_t[kChunkSize]);
  if (!chunk_) return Status::kNoMemory;
  // An archive reached through a link is replaced where the link leads.
  if (const Status status = output_.Create(FileBehindLinks(target.c_str()), keep_access);
      status != Status::kOk) {
    return status;
  }
  // The header's place, filled in last.
  const std::uint8_t placeholder[format::kHeaderSize] = {};
  return Append(placeholder, sizeof placeholder);
}

Status ArchiveWriter::Append(const std::uint8_t* bytes, std::size_t size) noexcept {
  if (output_.position() + size > format::kMaxArchiveLength) return Status::kTooLarge;
  return output_.Write(bytes, size);
}

Status ArchiveWriter::AddFile(const char* source_path, const std::string& stored_name) {
  InputFile source;
  if (const Status status = source.Open(source_path); status != Status::kOk) return status;
  const std::uint64_t length = source.length();
  if (length > format::kMaxArchiveLength) return Status::kTooLarge;
  const auto member_length = static_cast<std::uint32_t>(length);
  const std::uint32_t data_offset = DataOffset();
  const bool masked = flavour_ == Flavour::kMasked;
  const bool ini_dat = masked && IsIniDatName(stored_name.c_str());

  // The length the file had when it was opened is the length the masks and
  // the record use: the file must end exactly there.
  std::uint64_t done = 0;
  for (;;) {
    std::size_t got = 0;
    const std::size_t wanted =
        done < length ? static_cast<std::size_t>(std::min<std::uint64_t>(kChunkSize, length - done))
                      : 1;
    if (const Status status = source.Read(chunk_.get(), wanted, got); status != Status::kOk) {
      return status;
    }
    if (got == 0) break;
    if (done + got > length) return Status::kReadFailed;  // it grew
    if (ini_dat) EncodeIniDatMask(chunk_.get(), got, member_length, done);
    if (masked) EncodeContentMask(chunk_.get(), got, member_length);
    if (const Status status = Append(chunk_.get(), got); status != Status::kOk) return status;
    done += got;
  }
  if (done != length) return Status::kReadFailed;  // it shrank

  AppendRecord(flavour_, FixedBlock::ForStoredMember(data_offset, member_length), stored_name,
               directory_);
  ++entry_count_;
  return Status::kOk;
}

Status ArchiveWriter::CopyEntry(ArchiveReader& reader, const EntryView& entry) {
  FixedBlock block = FixedBlock::CopyOf(entry);
  block.SetDataOffset(DataOffset());
  Appender appender(*this);
  if (const Status status = reader.CopyStored(entry, appender); status != Status::kOk) {
    return status;
  }
  AppendRecord(flavour_, block, std::string_view(entry.Name(), entry.NameLength()), directory_);
  ++entry_count_;
  return Status::kOk;
}

Status ArchiveWriter::Finish() {
  const std::uint32_t directory_offset = DataOffset();
  if (const Status status = Append(directory_.data(), directory_.size()); status != Status::kOk) {
    return status;
  }
  const ArchiveHeader header =
      MakeHeader(flavour_, DataOffset(), entry_count_, directory_offset);
  if (const Status status = output_.WriteAt(0, header.bytes, sizeof header.bytes);
      status != Status::kOk) {
    return status;
  }
  return output_.Commit(true);
}

}  // namespace kzr
