#include "archive/directory_walk.h"

#include <cstring>

#include "archive/byte_order.h"
#include "archive/format.h"

namespace kzr {

using namespace format;

DirectoryWalk WalkPlain(const std::uint8_t* directory, std::size_t length,
                        RecordSpan* spans) noexcept {
  std::size_t position = 0;
  std::size_t records = 0;
  while (length - position >= kMinRecordLength) {
    const std::size_t name = position + kRecordName;
    const void* nul = std::memchr(directory + name, 0, length - name);
    if (nul == nullptr) break;
    const std::size_t name_length =
        static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - directory) - name;
    // The directory is at most 2^31 - 1 bytes long: offsets fit 32 bits.
    spans[records++] = {static_cast<std::uint32_t>(position),
                        static_cast<std::uint32_t>(name_length)};
    position = name + name_length + 1;
  }
  return {records, position};
}

DirectoryWalk WalkMasked(std::uint8_t* directory, std::size_t length, RecordSpan* spans) noexcept {
  std::size_t position = 0;
  std::size_t records = 0;
  while (length - position >= kRecordLengthSize) {
    const std::size_t record_length = LoadU16(directory + position);
    if (record_length < kMinRecordLength ||
        record_length > length - position - kRecordLengthSize) {
      break;
    }
    std::uint8_t* const run = directory + position + kRecordLengthSize;
    // Each key is chosen by the stored byte before it (by the length's low
    // nibble for the first).
    unsigned index = record_length & 0x0F;
    for (std::size_t i = 0; i < record_length; ++i) {
      const std::uint8_t stored = run[i];
      run[i] = stored ^ kDirectoryKeyTable[index];
      index = stored & 0x0F;
    }
    const void* nul = std::memchr(run + kRecordName, 0, record_length - kRecordName);
    if (nul == nullptr) break;
    const auto name_end = static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - run);
    spans[records++] = {static_cast<std::uint32_t>(run - directory),
                        static_cast<std::uint32_t>(name_end - kRecordName)};
    position += kRecordLengthSize + record_length;
  }
  return {records, position};
}

}  // namespace kzr
