#include "plugin/extraction.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "codec/content_mask.h"
#include "codec/lzw_decoder.h"

namespace kzr {
namespace {

// The stored bytes as read into memory, for the decoder.
class BufferedStoredBytes final : public StoredBytes {
 public:
  explicit BufferedStoredBytes(const std::uint8_t* bytes) noexcept : bytes_(bytes) {}
  Status Read(std::uint64_t offset, std::uint8_t* to, std::size_t size) noexcept override {
    std::memcpy(to, bytes_ + offset, size);
    return Status::kOk;
  }

 private:
  const std::uint8_t* bytes_;
};

// Collects the decoded member in one buffer of its size.
class BufferSink final : public MemberSink {
 public:
  explicit BufferSink(std::uint8_t* bytes) noexcept : next_(bytes) {}
  Status Write(const std::uint8_t* bytes, std::size_t size) noexcept override {
    std::memcpy(next_, bytes, size);
    next_ += size;
    return Status::kOk;
  }

 private:
  std::uint8_t* next_;
};

struct Member {
  host::ResultCode code = host::kOk;
  std::unique_ptr<std::uint8_t[]> bytes;  // UncompressedSize bytes when code is kOk
};

// Reads the entry's stored bytes. They must lie wholly inside the archive;
// anything else is corrupt data, not a short file to pass off as good.
host::ResultCode ReadStored(ArchiveHandle& handle, const EntryView& entry,
                            std::unique_ptr<std::uint8_t[]>& stored) noexcept {
  const std::uint32_t size = entry.StoredSize();
  const std::uint64_t end = std::uint64_t{entry.DataOffset()} + size;
  if (end > handle.header.ArchiveLength()) return host::kBadData;
  stored.reset(new (std::nothrow) std::uint8_t[size]);
  if (!stored) return host::kNoMemory;
  // The archive is at most 2^31 - 1 bytes long, so the offset fits a long.
  if (std::fseek(handle.stream.get(), static_cast<long>(entry.DataOffset()), SEEK_SET) != 0 ||
      std::fread(stored.get(), 1, size, handle.stream.get()) != size) {
    return host::kBadData;
  }
  return host::kOk;
}

Member ProduceMember(ArchiveHandle& handle, const EntryView& entry) noexcept {
  Member member;
  std::unique_ptr<std::uint8_t[]> stored;
  member.code = ReadStored(handle, entry, stored);
  if (member.code != host::kOk) return member;

  if (!entry.IsCompressed()) {
    // Stored as is, or through the content masks in the masked flavour.
    if (handle.header.IsMasked()) {
      const auto length = static_cast<std::int32_t>(entry.UncompressedSize());
      DecodeContentMask(stored.get(), length);
      if (IsIniDatName(entry.Name())) DecodeIniDatMask(stored.get(), length);
    }
    member.bytes = std::move(stored);
    return member;
  }

  member.bytes.reset(new (std::nothrow) std::uint8_t[entry.UncompressedSize()]);
  const std::unique_ptr<LzwDecoder> decoder = LzwDecoder::Create();
  if (!member.bytes || !decoder) {
    member.bytes.reset();
    member.code = host::kNoMemory;
    return member;
  }
  BufferedStoredBytes source(stored.get());
  BufferSink sink(member.bytes.get());
  if (decoder->Decode(source, entry.CompressedSize(), entry.UncompressedSize(), &sink) !=
      Status::kOk) {
    member.code = host::kBadData;
  }
  if (member.code != host::kOk) member.bytes.reset();
  return member;
}

// Writes the member and reports a failed or short write; an incomplete
// output file is removed.
host::ResultCode WriteMember(const std::string& path, const std::uint8_t* bytes,
                             std::uint32_t size) noexcept {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return host::kCreateError;
  const bool written = std::fwrite(bytes, 1, size, out) == size;
  const bool closed = std::fclose(out) == 0;
  if (written && closed) return host::kOk;
  std::remove(path.c_str());
  return host::kWriteError;
}

void ReportProgress(const ArchiveHandle& handle, const EntryView& entry,
                    std::uint32_t size) noexcept {
  if (handle.data_proc != nullptr) {
    handle.data_proc(const_cast<char*>(entry.Name()), static_cast<int>(size));
  }
}

}  // namespace

host::ResultCode ProcessCurrentEntry(ArchiveHandle& handle, int operation, const char* dest_path,
                                     const char* dest_name) noexcept {
  if (operation != host::kExtract && operation != host::kTest) return host::kOk;
  const EntryView entry = handle.index->CurrentEntry();
  if (!entry) return host::kBadData;  // nothing has been listed yet

  std::string path;
  if (operation == host::kExtract) {
    const std::size_t path_length = dest_path != nullptr ? std::strlen(dest_path) : 0;
    const std::size_t name_length = dest_name != nullptr ? std::strlen(dest_name) : 0;
    if (path_length + name_length > kMaxOutputPathLength) return host::kSmallBuffer;
    try {
      path.reserve(path_length + name_length);
      path.append(dest_path != nullptr ? dest_path : "").append(dest_name != nullptr ? dest_name : "");
    } catch (const std::bad_alloc&) {
      return host::kNoMemory;
    }
  }

  ReportProgress(handle, entry, 0);
  const Member member = ProduceMember(handle, entry);
  if (member.code != host::kOk) return member.code;
  if (operation == host::kExtract) {
    const host::ResultCode written = WriteMember(path, member.bytes.get(), entry.UncompressedSize());
    if (written != host::kOk) return written;
  }
  ReportProgress(handle, entry, entry.UncompressedSize());
  return host::kOk;
}

}  // namespace kzr
