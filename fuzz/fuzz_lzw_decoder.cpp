// Decodes arbitrary bytes as a compressed entry, and round-trips the same
// bytes through the test encoder. Aborts on any answer the extraction could
// not live with.
//
// Input: bytes 0-2 are a little-endian 24-bit value v giving the member's
// size: v mod 2^22 (up to 4 MiB) when bits 22-23 of v are both set, else
// v mod 2^16. The rest is the stored stream, decoded into a heap buffer of
// exactly that size, so the sanitizer sees any write past it.
//
// Checked for every input:
//  - the answer is kOk or kCorrupt;
//  - decoding into a smaller buffer gives the same answer and a prefix of the
//    same bytes (the output limit changes nothing but what is kept);
//  - the rest, taken as a member and encoded with block sizes and header
//    words chosen by byte 0, decodes back to itself.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "codec/lzw_decoder.h"
#include "support/lzw_encoder.h"

namespace {

void Check(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "lzw decoder: %s\n", what);
    std::abort();
  }
}

struct Result {
  kzr::LzwStatus status;
  std::unique_ptr<std::uint8_t[]> output;
};

Result Decode(const std::uint8_t* stored, std::size_t stored_size, std::uint32_t output_size) {
  Result result{kzr::LzwStatus::kOk, std::make_unique<std::uint8_t[]>(output_size)};
  std::memset(result.output.get(), 0xCC, output_size);
  result.status = kzr::DecodeLzwStream(stored, static_cast<std::uint32_t>(stored_size),
                                       result.output.get(), output_size);
  Check(result.status == kzr::LzwStatus::kOk || result.status == kzr::LzwStatus::kCorrupt,
        "answer other than kOk or kCorrupt");
  return result;
}

void CheckRoundTrip(std::uint8_t choice, const std::uint8_t* member, std::size_t size) {
  kzr::test::LzwEncodeOptions options;
  // Mostly small blocks, so that block ends and width changes meet the data.
  static const std::uint32_t kBlockCodes[] = {1, 2, 3, 100, 255, 256, 257, 767, 768, 4096};
  if (choice % 11 != 0) options.max_block_codes = kBlockCodes[choice % 11 - 1];
  options.word0 = 0x01010101u * choice;
  options.word8 = ~options.word0;
  options.slack = choice >> 6;
  const kzr::test::LzwBytes stream = kzr::test::EncodeLzw(member, size, options);
  const Result decoded = Decode(stream.data(), stream.size(), static_cast<std::uint32_t>(size));
  Check(decoded.status == kzr::LzwStatus::kOk, "an encoded member did not decode");
  Check(size == 0 || std::memcmp(decoded.output.get(), member, size) == 0,
        "an encoded member decoded to other bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::uint32_t v = data[0] | data[1] << 8 | data[2] << 16;
  const std::uint32_t output_size = (v >> 22) == 3 ? v & 0x3FFFFF : v & 0xFFFF;
  const std::uint8_t* stored = data + 3;
  const std::size_t stored_size = size - 3;

  const Result full = Decode(stored, stored_size, output_size);
  const std::uint32_t smaller = output_size / 3;
  const Result part = Decode(stored, stored_size, smaller);
  Check(part.status == full.status, "the buffer size changed the answer");
  Check(smaller == 0 || std::memcmp(part.output.get(), full.output.get(), smaller) == 0,
        "a smaller buffer did not get a prefix of the same bytes");

  CheckRoundTrip(data[0], stored, stored_size);
  return 0;
}
