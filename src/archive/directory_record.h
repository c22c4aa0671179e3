// Encoding of directory records: the one place that frames a record the way
// each flavour stores it. The archive writer and the tests' archive builder
// both use it; the directory index reads what it writes.
//
//   plain:  [fixed block, 40 bytes][name][NUL]
//   masked: [RecordLength n, u16, plain][fixed block][name][NUL]   (n = 41 + name length;
//           the n bytes after the prefix masked with the key chain started from n)
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "archive/entry_view.h"
#include "archive/format.h"

namespace kzr {

// A record's fixed block in plain form.
struct FixedBlock {
  std::uint8_t bytes[format::kFixedBlockSize] = {};

  // An existing entry's block as it stands, reserved fields included.
  static FixedBlock CopyOf(const EntryView& entry) noexcept;
};

// The bytes a record with a name of `name_length` bytes takes in a directory
// of the flavour.
std::size_t RecordSize(Flavour flavour, std::size_t name_length) noexcept;

// Appends one record to `directory`. The name holds no NUL; in the masked
// flavour it is at most format::kMaxMaskedNameLength bytes long.
void AppendRecord(Flavour flavour, const FixedBlock& block, std::string_view name,
                  std::vector<std::uint8_t>& directory);

}  // namespace kzr
