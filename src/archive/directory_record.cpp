#include "archive/directory_record.h"

#include <cstring>

#include "archive/byte_order.h"
#include "archive/key_chain.h"

namespace kzr {

using namespace format;

FixedBlock FixedBlock::CopyOf(const EntryView& entry) noexcept {
  FixedBlock block;
  std::memcpy(block.bytes, entry.Name() - kRecordName, kFixedBlockSize);
  return block;
}

std::size_t RecordSize(Flavour flavour, std::size_t name_length) noexcept {
  const std::size_t run = kMinRecordLength + name_length;
  return flavour == Flavour::kMasked ? kRecordLengthSize + run : run;
}

void AppendRecord(Flavour flavour, const FixedBlock& block, std::string_view name,
                  std::vector<std::uint8_t>& directory) {
  const std::size_t start = directory.size();
  directory.resize(start + RecordSize(flavour, name.size()));
  std::uint8_t* at = directory.data() + start;
  const auto run_length = static_cast<std::uint16_t>(kMinRecordLength + name.size());
  if (flavour == Flavour::kMasked) {
    StoreU16(at, run_length);
    at += kRecordLengthSize;
  }
  std::memcpy(at, block.bytes, kFixedBlockSize);
  if (!name.empty()) std::memcpy(at + kRecordName, name.data(), name.size());
  at[kRecordName + name.size()] = 0;
  if (flavour == Flavour::kMasked) MaskChained(at, run_length, run_length);
}

}  // namespace kzr
