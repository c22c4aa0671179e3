#include "plugin/writer.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "archive/archive_header.h"
#include "archive/byte_order.h"
#include "archive/file_stream.h"
#include "archive/format.h"
#include "archive/key_chain.h"
#include "codec/content_mask.h"
#include "plugin/host_paths.h"

namespace kzr {
namespace {

using format::kHeaderSize;

bool IsFolderItem(const std::string& full_source_path) {
  if (full_source_path.empty()) return false;
  const char last = full_source_path.back();
#if defined(_WIN32)
  return last == '\\';
#else
  // Hosts on other systems hand over their own separator.
  return last == '\\' || last == '/';
#endif
}

// The list items, as views into the host's buffer.
std::vector<const char*> SplitAddList(const char* add_list) {
  std::vector<const char*> items;
  for (const char* item = add_list; item != nullptr && *item != '\0';
       item += std::strlen(item) + 1) {
    items.push_back(item);
  }
  return items;
}

class ArchiveWriter {
 public:
  ArchiveWriter(const char* archive_path, const char* sub_path, const char* source_path)
      : archive_path_(archive_path),
        sub_path_(sub_path != nullptr ? sub_path : ""),
        source_path_(source_path != nullptr ? source_path : "") {}

  host::ResultCode Pack(const char* add_list) {
    const std::vector<const char*> items = SplitAddList(add_list);
    // Refuse over-long paths before anything is written.
    for (const char* item : items) {
      const std::size_t item_length = std::strlen(item);
      if (source_path_.size() + item_length > kMaxPackPathLength ||
          sub_path_.size() + item_length > kMaxPackPathLength) {
        return host::kSmallBuffer;
      }
    }

    archive_ = OpenFile(archive_path_, "wb");
    if (!archive_) return host::kCreateError;
    host::ResultCode code;
    try {
      code = WriteAll(items);
    } catch (const std::bad_alloc&) {
      code = host::kNoMemory;
    }
    if (code == host::kOk && std::fclose(archive_.release()) != 0) code = host::kWriteError;
    if (code != host::kOk) {
      archive_.reset();
      std::remove(archive_path_);
    }
    return code;
  }

 private:
  host::ResultCode WriteAll(const std::vector<const char*>& items) {
    // The header's place is held by zeros and filled in last.
    const std::uint8_t placeholder[kHeaderSize] = {};
    if (!Write(placeholder, sizeof placeholder)) return host::kWriteError;
    position_ = kHeaderSize;

    for (const char* item : items) {
      if (const host::ResultCode code = PackData(item); code != host::kOk) return code;
    }
    const std::uint64_t directory_offset = position_;
    std::uint32_t data_offset = kHeaderSize;
    std::size_t file_number = 0;
    for (const char* item : items) {
      if (IsFolderItem(source_path_ + item)) continue;
      const host::ResultCode code = WriteRecord(item, lengths_[file_number++], data_offset);
      if (code != host::kOk) return code;
    }

    const ArchiveHeader header = MakeMaskedHeader(static_cast<std::uint32_t>(position_),
                                                  static_cast<std::uint32_t>(lengths_.size()),
                                                  static_cast<std::uint32_t>(directory_offset));
    if (std::fseek(archive_.get(), 0, SEEK_SET) != 0 ||
        !Write(header.bytes, sizeof header.bytes)) {
      return host::kWriteError;
    }
    return host::kOk;
  }

  // Data pass for one item: read the whole file, mask it, append it.
  host::ResultCode PackData(const char* item) {
    const std::string source = source_path_ + item;
    if (IsFolderItem(source)) return host::kOk;
    FilePtr file = OpenFile(source.c_str(), "rb");
    if (!file) return host::kOpenError;
    const std::optional<std::uint64_t> length = SeekToEnd(file.get());
    if (!length || std::fseek(file.get(), 0, SEEK_SET) != 0) return host::kReadError;
    if (!Fits(*length)) return host::kNotSupported;
    const auto size = static_cast<std::uint32_t>(*length);

    std::unique_ptr<std::uint8_t[]> bytes(new (std::nothrow) std::uint8_t[size]);
    if (!bytes) return host::kNoMemory;
    if (std::fread(bytes.get(), 1, size, file.get()) != size) return host::kReadError;
    file.reset();

    const auto mask_length = static_cast<std::int32_t>(size);
    if (IsIniDatName(StoredName(item).c_str())) EncodeIniDatMask(bytes.get(), mask_length);
    EncodeContentMask(bytes.get(), mask_length);
    if (!Write(bytes.get(), size)) return host::kWriteError;
    position_ += size;
    lengths_.push_back(size);
    return host::kOk;
  }

  // Directory pass for one item: measure the file again (it must not have
  // changed) and append its masked record.
  host::ResultCode WriteRecord(const char* item, std::uint32_t packed_length,
                               std::uint32_t& data_offset) {
    const std::string source = source_path_ + item;
    FilePtr file = OpenFile(source.c_str(), "rb");
    if (!file) return host::kOpenError;
    const std::optional<std::uint64_t> length = SeekToEnd(file.get());
    file.reset();
    if (!length || *length != packed_length) return host::kReadError;

    const std::string name = StoredName(item);
    const std::size_t record_length = format::kMinRecordLength + name.size();
    if (!Fits(format::kRecordLengthSize + record_length)) return host::kNotSupported;

    std::vector<std::uint8_t> record(format::kRecordLengthSize + record_length, 0);
    std::uint8_t* const run = record.data() + format::kRecordLengthSize;
    StoreU16(record.data(), static_cast<std::uint16_t>(record_length));
    StoreU32(run + format::kRecordDataOffset, data_offset);
    StoreU32(run + format::kRecordUncompressedSize, packed_length);
    std::memcpy(run + format::kRecordName, name.data(), name.size());
    KeyChain(static_cast<std::uint16_t>(record_length)).Mask(run, record_length);
    if (!Write(record.data(), record.size())) return host::kWriteError;
    position_ += record.size();
    data_offset += packed_length;
    return host::kOk;
  }

  // The name an item is stored under: sub-path and item, with the archive's
  // separator (the item is still read from source path + item as given).
  std::string StoredName(const char* item) const {
    std::string name = sub_path_ + item;
    host::HostNameToStored(name);
    return name;
  }

  // Whether `more` bytes still keep the archive within its largest length.
  bool Fits(std::uint64_t more) const { return position_ + more <= format::kMaxArchiveLength; }

  bool Write(const void* bytes, std::size_t size) {
    return size == 0 || std::fwrite(bytes, 1, size, archive_.get()) == size;
  }

  const char* archive_path_;
  std::string sub_path_;
  std::string source_path_;
  FilePtr archive_;
  std::uint64_t position_ = 0;
  std::vector<std::uint32_t> lengths_;  // of the files packed, in list order
};

}  // namespace

host::ResultCode PackFileList(const char* archive_path, const char* sub_path,
                              const char* source_path, const char* add_list) noexcept {
  if (archive_path == nullptr) return host::kCreateError;
  try {
    return ArchiveWriter(archive_path, sub_path, source_path).Pack(add_list);
  } catch (const std::bad_alloc&) {
    return host::kNoMemory;  // before the archive file was created
  }
}

}  // namespace kzr
