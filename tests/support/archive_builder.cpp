#include "support/archive_builder.h"

#include <algorithm>
#include <random>

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
    const auto length = static_cast<std::int32_t>(member.size());
    if (IsIniDatName(name.c_str())) EncodeIniDatMask(member.data(), length);
    EncodeContentMask(member.data(), length);
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

Bytes EncodeRecord(Flavour flavour, const RecordSpec& record, std::uint32_t data_offset) {
  Bytes run(kFixedSize, 0);
  for (std::size_t offset = 4; offset < kFixedSize; offset += 4) {
    PutU32(run, offset, record.reserved_fill);
  }
  PutU32(run, 0, data_offset);
  PutU32(run, 20, record.uncompressed_size);
  PutU32(run, 28, record.compressed_size);
  PutU32(run, 32, record.compressed);
  run.insert(run.end(), record.name.begin(), record.name.end());
  run.push_back(0);
  if (flavour == Flavour::kPlain) return run;
  return FrameMaskedRun(std::move(run));
}

Bytes FrameMaskedRun(Bytes run) {
  const auto record_length = static_cast<std::uint16_t>(run.size());
  KeyChain(record_length).Mask(run.data(), run.size());
  Bytes framed(2 + run.size());
  PutU16(framed, 0, record_length);
  std::copy(run.begin(), run.end(), framed.begin() + 2);
  return framed;
}

Bytes MakeHeader(Flavour flavour, std::uint32_t file_length, std::uint32_t entry_count,
                 std::uint32_t directory_offset) {
  Bytes header(kHeaderSize, 0);
  header[0] = 'B';
  header[1] = 'I';
  header[2] = 'G';
  header[3] = 'F';
  header[4] = static_cast<std::uint8_t>(flavour);
  header[5] = 'Z';
  header[6] = 'B';
  header[7] = 'L';
  PutU32(header, 8, file_length);
  PutU32(header, 16, entry_count);
  PutU32(header, 20, directory_offset);
  PutU32(header, 28, file_length - directory_offset);
  PutU32(header, 44, 0xFEFEFEFE);
  PutU32(header, 48, 0xFEFEFEFE);
  return header;
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
  return directory;
}

Bytes ArchiveBuilder::Build() const {
  Bytes data;
  for (const RecordSpec& record : records_) {
    data.insert(data.end(), record.stored.begin(), record.stored.end());
  }
  const Bytes directory = BuildDirectory(kHeaderSize);
  const auto directory_offset = static_cast<std::uint32_t>(kHeaderSize + data.size());
  const auto length = static_cast<std::uint32_t>(directory_offset + directory.size());
  Bytes archive = MakeHeader(flavour_, length, static_cast<std::uint32_t>(records_.size()),
                             directory_offset);
  archive.insert(archive.end(), data.begin(), data.end());
  archive.insert(archive.end(), directory.begin(), directory.end());
  return archive;
}

}  // namespace kzr::test
