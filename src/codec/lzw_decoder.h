// The LZW block decoder for compressed entries, streaming: stored bytes come
// in through a StoredBytes source in large chunks and decoded bytes go out to
// a MemberSink in pieces of about 1 MiB (handed on between blocks) or more
// (when the window slides), in working memory of a fixed size whatever the
// member's size.
//
// Stream: LZW blocks back to back from offset 0, nothing else. A block is a
// 12-byte header and a payload. Only the header's u32 at offset 4,
// PayloadLength, is read, and only to find the next block at
// E = block + 12 + PayloadLength (computed in 64 bits); it does not end the
// codes, which are read until the end code, possibly past E (see Overlap).
//
// Payload: codes packed least significant bit first. 0-255 are literal bytes,
// 256 ends the block, 257 up name the block's own dictionary entries. Each
// block starts with an empty dictionary (next free code 257) and width 9.
// The first code adds no entry and writes its low 8 bits (so a first code of
// 257-511 yields a byte, and fails the block if any code but 256 follows).
// Every later code adds the entry "previous string + first byte of this
// string". A code at or above the next free code stands for the previous
// string followed by its own first byte. The width is always the bit length
// of the next free code; a code is read with the width in force before its
// entry is added and the position then advances by the width in force after,
// so each code whose entry raises the width (codes 256, 768, 1792, ... of the
// block) takes one more bit in the stream than is read. The addition that
// would need 18 bits fails, so a block holds at most 2^17 - 257 codes before
// its end code.
//
// Overlap: a block that another block follows (E < stored size) may run its
// codes, its end code included, at most 3 bytes past its payload: every bit
// of them lies in a byte below E + 3. A block whose codes reach byte E + 3 or
// beyond, into the block after it, is corrupt. The last block (E >= stored
// size) is bound only by the stored bytes. So blocks overlap by at most 3
// bytes and the work is linear in the stored bytes.
//
// Failures (kCorruptData): a code other than 256 while the previous code is
// not below the next free code; the addition that would raise the width to
// 18; a block header that does not lie whole within the stored bytes; a code
// whose bits do not, or that breaks the overlap rule. An empty stream is
// corrupt too, since it has no first block.
//
// Invariants of Decode:
//  - It reads only stored bytes [0, stored_size), in chunks of the input
//    buffer's size, and no byte more than twice (a block header may begin up
//    to 3 bytes before where the codes before it ended, and a chunk fetched
//    again covers those).
//  - On kOk the sink has received exactly output_size bytes, in order: the
//    first output_size decoded bytes, then zero bytes if the stream decodes
//    to fewer (which is not a failure).
//  - A stream that decodes to more than output_size bytes keeps the first
//    output_size and is still checked to its end, so a bad code after the
//    limit fails the call.
//  - On any other answer the sink has received some of the decoded bytes, in
//    order and nothing else, and is of no further use; the status is the
//    first failure met: kCorruptData, kReadFailed from the source, or the
//    sink's own answer.
//  - Memory is what Create made, whatever the member's size; nothing is
//    allocated per call, per block or per code. The output window keeps the
//    last quarter of itself (at least the longest string) when it slides. A
//    string still in it is copied from there in one go; one the window has
//    slid past is rebuilt from its last byte back through its chain of
//    previous codes, iteratively, until a prefix still in the window, so
//    a chain of 2^17 - 258 entries costs no stack.
//  - Work is linear in the stored bytes and the output bytes.
//  - One decoder decodes one member at a time; separate decoders share
//    nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/status.h"
#include "codec/byte_stream.h"

namespace kzr {

class LzwDecoder {
 public:
  // Output window and input buffer sizes. With the dictionary (1.5 MiB) the
  // defaults make 14.5 MiB in all, within 17 MiB and easy to find in a
  // 32-bit address space. A 12 MiB window slides about every 9 MiB of
  // output, which go to the sink in one piece, and keeps 3 MiB: more than
  // an ordinary block's output, so that strings are only rebuilt for very
  // repetitive blocks. 1 MiB of input is few reads. The window is at least
  // kMinWindowSize (it keeps the longest string behind the output and room
  // for the next); the input buffer at least kMinInputSize.
  static constexpr std::size_t kDefaultWindowSize = std::size_t{12} << 20;
  static constexpr std::size_t kDefaultInputSize = std::size_t{1} << 20;
  static constexpr std::size_t kMinWindowSize = std::size_t{512} << 10;
  static constexpr std::size_t kMaxWindowSize = std::size_t{256} << 20;
  static constexpr std::size_t kMinInputSize = 16;
  static constexpr std::size_t kMaxInputSize = std::size_t{64} << 20;

  // Working memory (dictionary, output window, input buffer) made once and
  // reused for every member; null when it cannot be had. Sizes outside the
  // limits above are brought within them.
  static std::unique_ptr<LzwDecoder> Create(std::size_t window_size = kDefaultWindowSize,
                                            std::size_t input_size = kDefaultInputSize) noexcept;

  ~LzwDecoder();
  LzwDecoder(const LzwDecoder&) = delete;
  LzwDecoder& operator=(const LzwDecoder&) = delete;

  // Decodes the `stored_size` stored bytes of a compressed member that
  // expands to `output_size` bytes. The sink receives exactly output_size
  // bytes, in order, in pieces: the decoded bytes (the first output_size of
  // them) and then zero bytes if the stream decodes to fewer. A null sink
  // verifies only (the same pipeline, nothing handed on).
  // kOk, kCorruptData, kReadFailed (from `stored`), or whatever the sink answered.
  Status Decode(StoredBytes& stored, std::uint32_t stored_size, std::uint32_t output_size,
                MemberSink* sink) noexcept;


 private:
  struct Memory;
  explicit LzwDecoder(std::unique_ptr<Memory> memory) noexcept;

  std::unique_ptr<Memory> memory_;
};

}  // namespace kzr
