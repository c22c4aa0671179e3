// Builds KZR archives in memory for the tests, in either flavour, including
// archives no writer would make (odd fields, compressed entries, damage).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/format.h"

namespace kzr::test {

using Bytes = std::vector<std::uint8_t>;
using kzr::Flavour;

struct RecordSpec {
  std::string name;
  Bytes stored;  // what the data region holds for this entry
  std::uint32_t uncompressed_size = 0;
  std::uint32_t compressed_size = 0;
  std::uint32_t compressed = 0;
  std::optional<std::uint32_t> data_offset;  // default: where `stored` lands
  std::uint32_t reserved_fill = 0;           // value for every reserved word
};

class ArchiveBuilder {
 public:
  explicit ArchiveBuilder(Flavour flavour = Flavour::kMasked) : flavour_(flavour) {}

  // An uncompressed member; stored through the content masks when masked.
  ArchiveBuilder& AddFile(std::string name, Bytes member);
  // A member stored as the given LZW stream, which expands to `uncompressed_size` bytes.
  ArchiveBuilder& AddCompressed(std::string name, Bytes stream, std::uint32_t uncompressed_size,
                                std::uint32_t compressed_flag = 1);
  ArchiveBuilder& AddRecord(RecordSpec record);
  // Bytes that follow the last record inside the directory (to damage it).
  ArchiveBuilder& AppendToDirectory(Bytes tail);

  Bytes Build() const;
  // The records and the tail; the first record's data at `first_data_offset`.
  Bytes BuildDirectory(std::uint32_t first_data_offset) const;

 private:
  Flavour flavour_;
  std::vector<RecordSpec> records_;
  Bytes directory_tail_;
};

// One directory record as the flavour frames it (masked: u16 prefix, then the
// masked run), through the library's own record encoder.
Bytes EncodeRecord(Flavour flavour, const RecordSpec& record, std::uint32_t data_offset);

// Frames a record run (fixed block, name, NUL, or anything else) as the masked
// flavour stores it: the run's length as a u16, then the run masked.
Bytes FrameMaskedRun(Bytes run);

// A header whose fields describe `file_length` bytes with the directory at
// `directory_offset`.
Bytes MakeHeader(Flavour flavour, std::uint32_t file_length, std::uint32_t entry_count,
                 std::uint32_t directory_offset);

// The file `header + body` with a header that describes it: its length, and a
// directory from `directory_offset` to its end. Whatever the body holds, the
// open's length checks pass, so the data and the directory get the body.
Bytes WithHeader(Flavour flavour, const Bytes& body, std::uint32_t directory_offset);

void PutU16(Bytes& bytes, std::size_t offset, std::uint16_t value);
void PutU32(Bytes& bytes, std::size_t offset, std::uint32_t value);
std::uint32_t GetU32(const Bytes& bytes, std::size_t offset);

Bytes BytesOf(const std::string& text);
Bytes RandomBytes(std::size_t size, std::uint32_t seed);

}  // namespace kzr::test
