// A plain whole-buffer LZW block decoder, to check the product's streaming
// decoder against (fuzz target, tests) and to measure it by (benchmarks). It
// holds the whole stream and the whole member in memory and keeps no window:
// each dictionary entry says where its string already lies in the output.
//
// It answers exactly as the streaming decoder must: the same block, width,
// dictionary, output-limit and reading-limit rules, and the overlap rule (a
// block that another block follows has all bits of its codes, end code
// included, below byte payload end + 3; the last block is bound only by the
// stored bytes). See src/codec/lzw_decoder.h.
#pragma once

#include <cstdint>

#include "base/status.h"

namespace kzr::test {

// Decodes `stored` into `output` (output_size bytes): the first output_size
// decoded bytes, then zeros, on every return. kOk, kCorruptData, or kNoMemory
// when the dictionary cannot be had. Either pointer may be null when its size
// is 0.
Status ReferenceDecodeLzw(const std::uint8_t* stored, std::uint32_t stored_size,
                          std::uint8_t* output, std::uint32_t output_size) noexcept;

}  // namespace kzr::test
