#include "support/lzw_reference_decoder.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

namespace kzr::test {
namespace {

constexpr std::uint32_t kBlockHeaderSize = 12;
constexpr std::uint32_t kPayloadLengthOffset = 4;
constexpr std::uint32_t kOverlapAllowance = 3;
constexpr std::uint32_t kEndCode = 256;
constexpr std::uint32_t kFirstEntry = 257;
constexpr unsigned kFirstWidth = 9;
constexpr unsigned kLastWidth = 17;
constexpr std::uint32_t kDictionarySize = std::uint32_t{1} << kLastWidth;

// A dictionary entry does not hold its string: it says where the string
// already lies in the output. An entry's string is always the previous code's
// emission plus the first byte of the emission right after it, so it is the
// run of output starting where the previous code's emission starts, one byte
// longer. Expanding a code is then one copy, however deep its chain. The
// first byte rides along so that it never has to be read back. Entries 0-255
// stand for the literals and point into kLiterals instead of the output.
struct Entry {
  std::uint32_t offset;  // where the string starts in the output (in kLiterals for 0-255)
  std::uint32_t packed;  // length in bits 0-23 (at most 2^17 - 257), first byte in bits 24-31
};

constexpr std::uint32_t kLengthMask = 0x00FF'FFFF;

constexpr std::uint32_t Pack(std::uint32_t length, std::uint32_t first_byte) {
  return length | first_byte << 24;
}

// Compilers turn this into one load on little-endian targets.
inline std::uint32_t LoadLittleEndian32(const std::uint8_t* p) noexcept {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Reads codes by absolute bit position, each block's codes below its own
// byte limit (the stored size, or less under the overlap rule). A code of up
// to 17 bits at a shift of up to 7 always fits one 32-bit window; near the
// end, where a window would run past the stored bytes, the missing bytes
// count as zero and are never read.
class CodeReader {
 public:
  CodeReader(const std::uint8_t* bytes, std::uint32_t size) noexcept : bytes_(bytes), size_(size) {}

  void SetLimit(std::uint32_t limit) noexcept {
    // Windows starting below this byte lie whole within the stored bytes
    // and hold only bits below the limit.
    const std::uint32_t by_size = size_ >= 4 ? size_ - 3 : 0;
    const std::uint32_t by_limit = limit >= 3 ? limit - 2 : 0;
    limit_ = limit;
    window_end_ = by_size < by_limit ? by_size : by_limit;
  }

  // False when the code's bits do not all lie below the limit.
  bool Read(std::uint64_t bit, std::uint32_t mask, unsigned width,
            std::uint32_t& code) const noexcept {
    const std::uint64_t byte = bit >> 3;
    if (byte < window_end_) [[likely]] {
      code = (LoadLittleEndian32(bytes_ + byte) >> (bit & 7)) & mask;
      return true;
    }
    return ReadNearEnd(bit, mask, width, code);
  }

 private:
  bool ReadNearEnd(std::uint64_t bit, std::uint32_t mask, unsigned width,
                   std::uint32_t& code) const noexcept {
    if (bit + width > std::uint64_t{limit_} * 8) return false;
    const std::uint64_t byte = bit >> 3;
    std::uint32_t window = 0;
    for (unsigned i = 0; i < 4 && byte + i < size_; ++i) {
      window |= static_cast<std::uint32_t>(bytes_[byte + i]) << (8 * i);
    }
    code = (window >> (bit & 7)) & mask;
    return true;
  }

  const std::uint8_t* bytes_;
  std::uint32_t size_;
  std::uint32_t limit_ = 0;
  std::uint32_t window_end_ = 0;
};

// The strings of the literal codes, for copying them like any other string:
// byte c at index c, and 16 bytes of slack for the chunked copy below.
constexpr std::size_t kLiteralSlack = 16;
alignas(16) constexpr auto kLiterals = [] {
  std::array<std::uint8_t, 256 + kLiteralSlack> table{};
  for (std::size_t c = 0; c < 256; ++c) table[c] = static_cast<std::uint8_t>(c);
  return table;
}();

inline void Copy16(std::uint8_t* destination, const std::uint8_t* source) noexcept {
  std::uint8_t chunk[16];  // load whole, then store: source and destination may overlap
  std::memcpy(chunk, source, sizeof chunk);
  std::memcpy(destination, chunk, sizeof chunk);
}

// Writes the first min(length, room) bytes of a string to the output; `room`
// (> 0) is what is left of the output. The string (a literal's, or an
// entry's, which lies in output already written) ends at or before the
// destination, so the bytes that matter are never overwritten before they
// are read. With 16 bytes of room to spare the copy goes by 16-byte chunks,
// which may read past the string and write up to 15 bytes of junk after it;
// the next emission or the final zero fill overwrites them.
inline void CopyString(std::uint8_t* destination, const std::uint8_t* source,
                       std::uint32_t length, std::uint32_t room) noexcept {
  if (length + 16 <= room) [[likely]] {
    Copy16(destination, source);
    if (length > 16) [[unlikely]] {
      Copy16(destination + 16, source + 16);
      if (length > 32) std::memcpy(destination + 32, source + 32, length - 32);
    }
    return;
  }
  std::memcpy(destination, source, length < room ? length : room);
}

struct Output {
  std::uint8_t* bytes;
  std::uint32_t size;
  std::uint32_t position;  // == size once the output is full; then codes are only checked
};

// Decodes the block whose payload starts at `payload_bit`. Codes are checked
// to the end code whether or not the output still has room; entries are only
// recorded while it has, since nothing reads them once it is full.
Status DecodeBlock(const CodeReader& reader, std::uint64_t payload_bit, Output& out,
                      Entry* dictionary) noexcept {
  std::uint64_t bit = payload_bit;
  unsigned width = kFirstWidth;
  std::uint32_t mask = (std::uint32_t{1} << width) - 1;

  std::uint32_t code;
  if (!reader.Read(bit, mask, width, code)) return Status::kCorruptData;
  if (code == kEndCode) return Status::kOk;
  bit += width;

  std::uint8_t* const bytes = out.bytes;
  const std::uint32_t size = out.size;
  std::uint32_t position = out.position;

  // The previous code, and where its emission lies and what it looks like.
  std::uint32_t previous = code;
  std::uint32_t previous_offset = position;
  std::uint32_t previous_packed = Pack(1, code & 0xFF);
  if (position < size) bytes[position++] = static_cast<std::uint8_t>(code);

  std::uint32_t next = kFirstEntry;
  std::uint32_t width_limit = std::uint32_t{1} << width;  // next free code that raises the width

  Status status = Status::kOk;
  for (;;) {
    if (!reader.Read(bit, mask, width, code)) {
      status = Status::kCorruptData;
      break;
    }
    if (code == kEndCode) break;
    // Also rejects a first code of 257 and above, and a code that ran ahead
    // of the dictionary, once anything but the end code follows them.
    if (previous >= next) {
      status = Status::kCorruptData;
      break;
    }

    if (position < size) {
      std::uint8_t* const destination = bytes + position;
      const std::uint32_t room = size - position;
      std::uint32_t packed;
      if (code < next) [[likely]] {
        const Entry entry = dictionary[code];
        packed = entry.packed;
        CopyString(destination, (code < kEndCode ? kLiterals.data() : bytes) + entry.offset,
                   packed & kLengthMask, room);
      } else {
        // The previous string and its own first byte. The previous emission
        // ends right here, so only its bytes are copied, then the one byte.
        const std::uint32_t previous_length = previous_packed & kLengthMask;
        packed = previous_packed + 1;
        CopyString(destination, bytes + previous_offset, previous_length, room);
        if (previous_length < room) {
          destination[previous_length] = static_cast<std::uint8_t>(previous_packed >> 24);
        }
      }
      // Previous string + this string's first byte, which sits right after
      // the previous emission in the output.
      dictionary[next] = Entry{previous_offset, previous_packed + 1};
      const std::uint32_t length = packed & kLengthMask;
      previous_offset = position;
      previous_packed = packed;
      position = length < room ? position + length : size;
    }

    if (++next == width_limit) {
      if (width == kLastWidth) {
        status = Status::kCorruptData;
        break;
      }
      ++width;
      width_limit <<= 1;
      mask = width_limit - 1;
    }
    // Read with the old width, advance by the new one.
    bit += width;
    previous = code;
  }
  out.position = position;
  return status;
}

}  // namespace

Status ReferenceDecodeLzw(const std::uint8_t* stored, std::uint32_t stored_size,
                          std::uint8_t* output, std::uint32_t output_size) noexcept {
  Output out{output, output_size, 0};
  std::unique_ptr<Entry[]> dictionary(new (std::nothrow) Entry[kDictionarySize]);
  Status status = Status::kOk;
  if (!dictionary) {
    status = Status::kNoMemory;
  } else {
    // Literal codes are entries too, whose strings lie in kLiterals.
    for (std::uint32_t c = 0; c < kEndCode; ++c) dictionary[c] = Entry{c, Pack(1, c)};
    CodeReader reader(stored, stored_size);
    std::uint64_t block = 0;
    do {
      if (block + kBlockHeaderSize > stored_size) {
        status = Status::kCorruptData;
        break;
      }
      // In 64 bits: 12 + PayloadLength must not wrap back into the stream.
      const std::uint64_t end = block + kBlockHeaderSize +
                                LoadLittleEndian32(stored + block + kPayloadLengthOffset);
      // Codes end below end + 3 when another block follows; the last block
      // (end >= stored_size) is bound by the stored bytes alone.
      reader.SetLimit(static_cast<std::uint32_t>(
          std::min<std::uint64_t>(end + kOverlapAllowance, stored_size)));
      status = DecodeBlock(reader, (block + kBlockHeaderSize) * 8, out, dictionary.get());
      if (status != Status::kOk) break;
      block = end;
    } while (block < stored_size);
  }
  if (out.position < output_size) {
    std::memset(output + out.position, 0, output_size - out.position);
  }
  return status;
}

}  // namespace kzr::test
