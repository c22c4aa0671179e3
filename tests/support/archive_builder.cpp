#include "support/archive_builder.h"

#include <algorithm>
#include <cstring>
#include <random>

#include "archive/archive_header.h"
#include "archive/directory_record.h"
#include "archive/key_chain.h"
#include "codec/content_mask.h"

namespace kzr::test {

namespace {
constexpr std::size_t kHeaderSize = 52;
constexpr std::size_t kFixedSize = 40;
}  // namespace

void PutU16(Bytes& bytes, std::size_t offset, std::uint16_t value) {
  bytes.at(offset) = static_cast<std::uint8_t>(value);
  bytes.at(offset + 1) = static_cast<std::uint8_t>(value >> 8);
}

void PutU32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetU32(const Bytes& bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | bytes.at(offset + i);
  return value;
}

Bytes BytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes RandomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 generator(seed);
  Bytes bytes(size);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(generator());
  return bytes;
}

ArchiveBuilder& ArchiveBuilder::AddFile(std::string name, Bytes member) {
  RecordSpec record;
  record.uncompressed_size = static_cast<std::uint32_t>(member.size());
  if (flavour_ == Flavour::kMasked) {
    const auto length = static_cast<std::uint32_t>(member.size());
    if (IsIniDatName(name.c_str())) EncodeIniDatMask(member.data(), member.size(), length, 0);
    EncodeContentMask(member.data(), member.size(), length);
  }
  record.name = std::move(name);
  record.stored = std::move(member);
  return AddRecord(std::move(record));
}

ArchiveBuilder& ArchiveBuilder::AddCompressed(std::string name, Bytes stream,
                                              std::uint32_t uncompressed_size,
                                              std::uint32_t compressed_flag) {
  RecordSpec record;
  record.name = std::move(name);
  record.uncompressed_size = uncompressed_size;
  record.compressed_size = static_cast<std::uint32_t>(stream.size());
  record.compressed = compressed_flag;
  record.stored = std::move(stream);
  return AddRecord(std::move(record));
}

ArchiveBuilder& ArchiveBuilder::AddRecord(RecordSpec record) {
  records_.push_back(std::move(record));
  return *this;
}

ArchiveBuilder& ArchiveBuilder::AppendToDirectory(Bytes tail) {
  directory_tail_.insert(directory_tail_.end(), tail.begin(), tail.end());
  return *this;
}

Bytes EncodeRecord(Flavour flavour, const RecordSpec& record, std::uint32_t data_offset) {
  Bytes block(kFixedSize, 0);
  for (std::size_t offset = 4; offset < kFixedSize; offset += 4) {
    PutU32(block, offset, record.reserved_fill);
  }
  PutU32(block, 0, data_offset);
  PutU32(block, 20, record.uncompressed_size);
  PutU32(block, 28, record.compressed_size);
  PutU32(block, 32, record.compressed);
  FixedBlock fixed;
  std::copy(block.begin(), block.end(), fixed.bytes);
  Bytes encoded;
  AppendRecord(flavour, fixed, record.name, encoded);
  return encoded;
}

Bytes FrameMaskedRun(Bytes run) {
  const auto record_length = static_cast<std::uint16_t>(run.size());
  MaskChained(run.data(), run.size(), record_length);
  Bytes framed(2 + run.size());
  PutU16(framed, 0, record_length);
  std::copy(run.begin(), run.end(), framed.begin() + 2);
  return framed;
}

Bytes MakeHeader(Flavour flavour, std::uint32_t file_length, std::uint32_t entry_count,
                 std::uint32_t directory_offset) {
  const ArchiveHeader header = kzr::MakeHeader(flavour, file_length, entry_count, directory_offset);
  Bytes bytes(sizeof header.bytes);
  std::memcpy(bytes.data(), header.bytes, bytes.size());
  return bytes;
}

Bytes WithHeader(Flavour flavour, const Bytes& body, std::uint32_t directory_offset) {
  const auto length = static_cast<std::uint32_t>(kHeaderSize + body.size());
  const Bytes header = test::MakeHeader(flavour, length, 0, directory_offset);
  Bytes file(length);
  std::copy(body.begin(), body.end(), std::copy(header.begin(), header.end(), file.begin()));
  return file;
}

Bytes ArchiveBuilder::BuildDirectory(std::uint32_t first_data_offset) const {
  Bytes directory;
  std::uint32_t data_offset = first_data_offset;
  for (const RecordSpec& record : records_) {
    const Bytes encoded =
        EncodeRecord(flavour_, record, record.data_offset.value_or(data_offset));
    directory.insert(directory.end(), encoded.begin(), encoded.end());
    data_offset += static_cast<std::uint32_t>(record.stored.size());
  }
  directory.insert(directory.end(), directory_tail_.begin(), directory_tail_.end());
  return directory;
}

Bytes ArchiveBuilder::Build() const {
  std::size_t data_size = 0;
  for (const RecordSpec& record : records_) data_size += record.stored.size();
  const Bytes directory = BuildDirectory(kHeaderSize);
  const auto directory_offset = static_cast<std::uint32_t>(kHeaderSize + data_size);
  const auto length = static_cast<std::uint32_t>(directory_offset + directory.size());
  const Bytes header = test::MakeHeader(flavour_, length, static_cast<std::uint32_t>(records_.size()),
                                  directory_offset);
  Bytes archive(length);
  auto at = std::copy(header.begin(), header.end(), archive.begin());
  for (const RecordSpec& record : records_) {
    at = std::copy(record.stored.begin(), record.stored.end(), at);
  }
  std::copy(directory.begin(), directory.end(), at);
  return archive;
}

}  // namespace kzr::test
