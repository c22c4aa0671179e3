// The LZW block decoder for compressed entries.
//
// Stream: LZW blocks back to back from offset 0, nothing else. A block is a
// 12-byte header and a payload. Only the header's u32 at offset 4,
// PayloadLength, is read, and only to find the next block at
// block + 12 + PayloadLength (computed in 64 bits); it does not bound the
// codes, which are read until the end code, possibly past it.
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
// Failures (kCorrupt): a code other than 256 while the previous code is not
// below the next free code; the addition that would raise the width to 18; a
// block header that does not lie whole within the stored bytes; a code whose
// bits do not. An empty stream is corrupt too, since it has no first block.
//
// Invariants of DecodeLzwStream:
//  - It reads only stored[0, stored_size) and writes only
//    output[0, output_size). Bytes past the stored ones are never touched.
//  - A stream that decodes to more than output_size bytes keeps the first
//    output_size bytes and is still checked to its end, so a bad code after
//    the limit fails the call.
//  - On every return, output holds the bytes decoded so far followed by zero
//    bytes up to output_size. Decoding to fewer bytes than output_size is not
//    a failure.
//  - It allocates one dictionary of 2^17 entries per call (8 bytes each) and
//    nothing else; kNoMemory when that fails. Stack use is constant: strings
//    are copied from where they already lie in the output, so a chain of
//    2^17 - 258 entries costs nothing more than a short one.
//  - No state survives the call; concurrent calls share nothing.
#pragma once

#include <cstdint>

namespace kzr {

enum class LzwStatus { kOk, kCorrupt, kNoMemory };

// Decodes a compressed entry's stored bytes into `output` (output_size bytes).
// Never reads past stored[stored_size) and never writes past
// output[output_size). Bytes of output not produced by the stream are set to
// zero. Either pointer may be null when its size is 0.
LzwStatus DecodeLzwStream(const std::uint8_t* stored, std::uint32_t stored_size,
                          std::uint8_t* output, std::uint32_t output_size) noexcept;

}  // namespace kzr
