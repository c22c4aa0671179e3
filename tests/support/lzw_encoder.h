// Makes LZW block streams for the tests, the benchmarks and the fuzz target
// (the product itself never compresses): a greedy encoder, and helpers to
// build payloads code by code, including streams no encoder would write.
//
// Everything here restates the format's widths on its own rather than sharing
// the decoder's constants: code k of a block (counting from 1) is read with
// the bit length of 255 + k and takes as many bits in the stream as the bit
// length of 256 + k.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kzr::test {

using LzwBytes = std::vector<std::uint8_t>;

// The most codes a block can hold before its end code.
inline constexpr std::uint32_t kLzwMaxBlockCodes = (1u << 17) - 257;

// Packs fields least significant bit first, as a payload holds its codes.
class BitWriter {
 public:
  // Appends the low `width` bits of `value` (width 0 to 32).
  void Put(std::uint32_t value, unsigned width);
  std::uint64_t bit_count() const { return bit_count_; }
  // The bytes so far, the last one padded with zero bits.
  const LzwBytes& bytes() const { return bytes_; }

 private:
  LzwBytes bytes_;
  std::uint64_t bit_count_ = 0;
};

// Writes one block's codes at the widths and positions the decoder reads
// them: a code that raises the width gets a field one bit wider than its
// value's width, the top bit 0. Values are not checked against the
// dictionary, so tests can write bad streams too.
class LzwPayloadWriter {
 public:
  // Appends the next code of the block.
  void Code(std::uint32_t code);
  // Appends the end code, read at the current width.
  void End();
  // Number of codes written so far, the end code not counted.
  std::uint32_t codes() const { return codes_; }
  // The width the next code is read with.
  unsigned width() const;
  const LzwBytes& bytes() const { return bits_.bytes(); }

 private:
  BitWriter bits_;
  std::uint32_t codes_ = 0;
};

// A block: 12-byte header (word0, payload_length, word8) and the payload.
LzwBytes MakeLzwBlock(const LzwBytes& payload, std::uint32_t payload_length,
                      std::uint32_t word0 = 0, std::uint32_t word8 = 0);
// The same with PayloadLength = payload.size().
LzwBytes MakeLzwBlock(const LzwBytes& payload);

struct LzwEncodeOptions {
  // Codes per block before its end code; a new block starts after that many
  // (clamped to 1 .. kLzwMaxBlockCodes).
  std::uint32_t max_block_codes = kLzwMaxBlockCodes;
  // Words at offsets 0 and 8 of every block header.
  std::uint32_t word0 = 0;
  std::uint32_t word8 = 0;
  // Bytes of filler after each block's end code, counted in PayloadLength.
  std::uint32_t slack = 0;
};

// Greedy LZW over `data`, as many blocks as needed. Empty input gives one
// block holding only the end code.
LzwBytes EncodeLzw(const std::uint8_t* data, std::size_t size,
                   const LzwEncodeOptions& options = {});
inline LzwBytes EncodeLzw(const LzwBytes& data, const LzwEncodeOptions& options = {}) {
  return EncodeLzw(data.data(), data.size(), options);
}

// Deterministic sample members of three kinds, for round trips and benchmarks.
// Text: words of a small vocabulary, punctuation and line breaks.
LzwBytes SampleText(std::size_t size, std::uint32_t seed);
// Binary: fixed-size little-endian records (serials, small counts, flags,
// a few noisy bytes) as a game's tables hold them.
LzwBytes SampleRecords(std::size_t size, std::uint32_t seed);
// Highly repetitive: long runs of one byte and repeated short patterns.
LzwBytes SampleRuns(std::size_t size, std::uint32_t seed);

}  // namespace kzr::test
