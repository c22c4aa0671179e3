// Decodes arbitrary bytes as a compressed entry with the streaming decoder,
// in the default and the smallest window and input buffer, and compares it
// with the whole-buffer reference decoder; then round-trips the same bytes
// through the test encoder. Aborts on any difference.
//
// Input: bytes 0-2 are a little-endian 24-bit value v giving the member's
// size: v mod 2^22 (up to 4 MiB) when bits 22-23 of v are both set, else
// v mod 2^16. The rest is the stored stream.
//
// Checked for every input, for each decoder:
//  - the same answer as the reference (kOk or kCorruptData), also when only
//    verifying (no sink) and with a third of the member size;
//  - on kOk the very bytes of the reference, output size in all; otherwise
//    a prefix of them;
//  - no read past the stored bytes, and no more than twice their number read;
//  - the rest, taken as a member and encoded with block sizes and header
//    words chosen by byte 0, decodes back to itself.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "codec/lzw_decoder.h"
#include "support/lzw_encoder.h"
#include "support/lzw_reference_decoder.h"
#include "support/memory_streams.h"

namespace {

using kzr::Status;

void Check(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "lzw decoder: %s\n", what);
    std::abort();
  }
}

kzr::LzwDecoder& Decoder(int which) {
  static const std::unique_ptr<kzr::LzwDecoder> decoders[] = {
      kzr::LzwDecoder::Create(),
      kzr::LzwDecoder::Create(kzr::LzwDecoder::kMinWindowSize, kzr::LzwDecoder::kMinInputSize),
  };
  Check(decoders[which] != nullptr, "no decoder");
  return *decoders[which];
}

struct Reference {
  Status status;
  std::vector<std::uint8_t> output;
};

Reference DecodeReference(const std::uint8_t* stored, std::size_t stored_size,
                          std::uint32_t output_size) {
  Reference reference{Status::kOk, std::vector<std::uint8_t>(output_size, 0xCC)};
  reference.status = kzr::test::ReferenceDecodeLzw(
      stored, static_cast<std::uint32_t>(stored_size), reference.output.data(), output_size);
  Check(reference.status == Status::kOk || reference.status == Status::kCorruptData,
        "the reference answered other than kOk or kCorrupt");
  return reference;
}

void CompareWithReference(int which, const std::uint8_t* stored, std::size_t stored_size,
                          std::uint32_t output_size, const Reference& reference) {
  kzr::test::MemoryStoredBytes source(stored, stored_size);
  kzr::test::CollectingSink sink;
  const Status status =
      Decoder(which).Decode(source, static_cast<std::uint32_t>(stored_size), output_size, &sink);
  Check(!source.read_past_end(), "read past the stored bytes");
  Check(source.bytes_read() <= 2 * std::uint64_t{stored_size}, "read bytes more than twice");
  Check(status == reference.status.code(), "another answer than the reference");
  const std::vector<std::uint8_t>& bytes = sink.bytes();
  if (status == Status::kOk) {
    Check(bytes == reference.output, "other bytes than the reference");
  } else {
    Check(bytes.size() <= reference.output.size() &&
              (bytes.empty() ||
               std::memcmp(bytes.data(), reference.output.data(), bytes.size()) == 0),
          "a failed decode handed on other bytes than the reference's");
  }
  kzr::test::MemoryStoredBytes again(stored, stored_size);
  Check(Decoder(which).Decode(again, static_cast<std::uint32_t>(stored_size), output_size,
                              nullptr) == status.code(),
        "verifying answered otherwise");
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
  kzr::test::MemoryStoredBytes source(stream.data(), stream.size());
  kzr::test::CollectingSink sink;
  Check(Decoder(choice & 1).Decode(source, static_cast<std::uint32_t>(stream.size()),
                                   static_cast<std::uint32_t>(size), &sink) == Status::kOk,
        "an encoded member did not decode");
  Check(sink.bytes().size() == size &&
            (size == 0 || std::memcmp(sink.bytes().data(), member, size) == 0),
        "an encoded member decoded to other bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::uint32_t v = data[0] | data[1] << 8 | data[2] << 16;
  const std::uint32_t output_size = (v >> 22) == 3 ? v & 0x3FFFFF : v & 0xFFFF;
  const std::uint8_t* stored = data + 3;
  const std::size_t stored_size = size - 3;

  for (std::uint32_t member_size : {output_size, output_size / 3}) {
    const Reference reference = DecodeReference(stored, stored_size, member_size);
    for (int which = 0; which < 2; ++which) {
      CompareWithReference(which, stored, stored_size, member_size, reference);
    }
  }

  CheckRoundTrip(data[0], stored, stored_size);
  return 0;
}
