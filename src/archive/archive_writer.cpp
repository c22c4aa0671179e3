#include "archive/archive_writer.h"

#include <new>

#include "archive/byte_order.h"
#include "archive/directory_record.h"
#include "codec/content_mask.h"

namespace kzr {
// Hands an entry's stored bytes to the archive being written.
class ArchiveWriter::Appender final : public MemberSink {
 public:
  Appender(ArchiveWriter& writer, Progress* progress) noexcept
      : writer_(writer), progress_(progress) {}
  Status Write(const std::uint8_t* bytes, std::size_t size) noexcept override {
    if (Status status = writer_.Append(bytes, size); !status.ok()) return status;
    return progress_ == nullptr || progress_->Advance(size) ? Status::kOk : Status::kAborted;
  }

 private:
  ArchiveWriter& writer_;
  Progress* progress_;
};

Status ArchiveWriter::Begin(const std::string& target, Flavour flavour, bool keep_access) noexcept {
  flavour_ = flavour;
  directory_.clear();
  entry_count_ = 0;
  if (buffers_.Chunk() == nullptr) return Status::kNoMemory;
  if (Status status = output_.Create(target, keep_access); !status.ok()) return status;
  // The header's place, filled in last.
  const std::uint8_t placeholder[format::kHeaderSize] = {};
  return Append(placeholder, sizeof placeholder);
}

Status ArchiveWriter::Append(const std::uint8_t* bytes, std::size_t size) noexcept {
  if (output_.position() + size > format::kMaxArchiveLength) return Status::kTooLarge;
  return output_.Write(bytes, size);
}

Status ArchiveWriter::AddFile(const std::string& source_path, const std::string& stored_name,
                              std::string_view shown_name, Progress* progress) {
  InputFile source;
  if (Status status = source.Open(source_path); !status.ok()) return status;
  const std::uint64_t length = source.length();
  if (length > format::kMaxArchiveLength) return Status(Status::kTooLarge).About(source_path);
  if (progress != nullptr && !progress->Begin(shown_name, length)) return Status::kAborted;
  const auto member_length = static_cast<std::uint32_t>(length);
  const std::uint32_t data_offset = DataOffset();
  const bool masked = flavour_ == Flavour::kMasked;
  const bool ini_dat = masked && IsIniDatName(stored_name.c_str());
  std::uint8_t* const chunk = buffers_.Chunk();

  // The length the file had when it was opened is the length the masks and
  // the record use: the file must end exactly there.
  for (std::uint64_t done = 0; done < length;) {
    const auto got = static_cast<std::size_t>(
        std::min<std::uint64_t>(MemberBuffers::kChunkSize, length - done));
    // A file that shrank ends early: kReadFailed, with no error of the system's.
    if (Status status = source.ReadAt(done, chunk, got); !status.ok()) return status;
    if (ini_dat) EncodeIniDatMask(chunk, got, member_length, done);
    if (masked) EncodeContentMask(chunk, got, member_length);
    if (Status status = Append(chunk, got); !status.ok()) return status;
    done += got;
    if (progress != nullptr && !progress->Advance(got)) return Status::kAborted;
  }
  std::uint8_t more;
  const Status grew = source.ReadAt(length, &more, 1);
  if (grew.ok()) return Status(Status::kReadFailed).About(source_path);
  if (grew.system_error() != 0) return grew;

  FixedBlock block;  // every other field 0
  StoreU32(block.bytes + format::kRecordDataOffset, data_offset);
  StoreU32(block.bytes + format::kRecordUncompressedSize, member_length);
  AppendRecord(flavour_, block, stored_name, directory_);
  ++entry_count_;
  return Status::kOk;
}

Status ArchiveWriter::CopyEntry(const ArchiveReader& reader, const EntryView& entry,
                                Progress* progress) {
  FixedBlock block = FixedBlock::CopyOf(entry);
  StoreU32(block.bytes + format::kRecordDataOffset, DataOffset());
  Appender appender(*this, progress);
  if (Status status = reader.CopyStored(entry, appender, buffers_); !status.ok()) return status;
  AppendRecord(flavour_, block, entry.StoredName(), directory_);
  ++entry_count_;
  return Status::kOk;
}

Status ArchiveWriter::Finish(Placing placing) {
  const std::uint32_t directory_offset = DataOffset();
  if (Status status = Append(directory_.data(), directory_.size()); !status.ok()) return status;
  const ArchiveHeader header = MakeHeader(flavour_, DataOffset(), entry_count_, directory_offset);
  if (Status status = output_.WriteAt(0, header.bytes, sizeof header.bytes); !status.ok()) {
    return status;
  }
  placing.durable = true;
  return output_.Commit(placing);
}

}  // namespace kzr
