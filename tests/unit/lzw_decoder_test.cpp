// The LZW block decoder: hand-written payloads, the width and position rules,
// the block and stream limits, the output limit, and round trips through the
// test encoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "codec/lzw_decoder.h"
#include "support/archive_builder.h"
#include "support/lzw_encoder.h"

namespace kzr {
namespace {

using test::BitWriter;
using test::LzwBytes;
using test::LzwPayloadWriter;
using test::MakeLzwBlock;

constexpr std::uint8_t kPrefill = 0xCC;

struct Decoded {
  LzwStatus status;
  LzwBytes output;
};

// Exact-size copies of the input and the output, so that the sanitizer sees
// any access past either.
Decoded Decode(const LzwBytes& stream, std::size_t output_size) {
  const LzwBytes stored(stream);
  Decoded decoded{LzwStatus::kOk, LzwBytes(output_size, kPrefill)};
  decoded.status = DecodeLzwStream(stored.data(), static_cast<std::uint32_t>(stored.size()),
                                   decoded.output.data(),
                                   static_cast<std::uint32_t>(decoded.output.size()));
  return decoded;
}

LzwBytes Concat(std::initializer_list<LzwBytes> parts) {
  LzwBytes all;
  for (const LzwBytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

LzwBytes WithZeros(LzwBytes bytes, std::size_t zeros) {
  bytes.resize(bytes.size() + zeros, 0);
  return bytes;
}

// Codes 65, 257, 256: "AAA". Codes 65, 66, 257, 256: "ABAB".
const LzwBytes kTripleA = {0x41, 0x02, 0x02, 0x04};
const LzwBytes kAbab = {0x41, 0x84, 0x04, 0x04, 0x08};
const LzwBytes kEmpty = {0x00, 0x01};
// Codes 66, 300, 66, 256: fails at the third code.
const LzwBytes kRanAhead = {0x42, 0x58, 0x0A, 0x01, 0x08};

TEST(LzwDecoder, DecodesHandWrittenPayloads) {
  struct Case {
    const char* what;
    LzwBytes payload;
    std::optional<LzwBytes> expected;  // nullopt: the decode fails
  };
  const Case cases[] = {
      {"end code only", kEmpty, LzwBytes{}},
      {"next free code right after a literal", kTripleA, LzwBytes{0x41, 0x41, 0x41}},
      {"an entry made two codes earlier", kAbab, LzwBytes{0x41, 0x42, 0x41, 0x42}},
      {"code above the next free code, then end", {0x42, 0x58, 0x02, 0x04},
       LzwBytes{0x42, 0x42, 0x42}},
      {"code above the next free code, then a literal", kRanAhead, std::nullopt},
      {"first code 300, then end", {0x2C, 0x01, 0x02}, LzwBytes{0x2C}},
      {"first code 300, then a literal", {0x2C, 0x83, 0x00, 0x04}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // The header words at 0 and 8 are junk; the buffer is 3 bytes larger
    // than the member, and those bytes come back as zeros.
    const LzwBytes stream = MakeLzwBlock(
        c.payload, static_cast<std::uint32_t>(c.payload.size()), 0xDEADBEEF, 0xFFFFFFFF);
    ASSERT_EQ(stream.size(), 12 + c.payload.size());
    const std::size_t size = c.expected ? c.expected->size() + 3 : 8;
    const Decoded decoded = Decode(stream, size);
    if (c.expected) {
      EXPECT_EQ(decoded.status, LzwStatus::kOk);
      EXPECT_EQ(decoded.output, WithZeros(*c.expected, 3));
    } else {
      EXPECT_EQ(decoded.status, LzwStatus::kCorrupt);
    }
  }
}

// Codes 256 and 768 of a block are read as 9 and 10 bits but take 10 and 11;
// codes 257 and 769 start one bit later than a plain sum of widths. The codes
// there are dictionary codes, which expand to the two literals that made them.
TEST(LzwDecoder, WidthRaisingCodesTakeOneMoreBit) {
  const std::uint32_t kPlaced[][2] = {{256, 260}, {257, 300}, {768, 700}, {769, 1000}};
  constexpr std::uint32_t kCodes = 800;
  std::vector<std::uint32_t> literal(kCodes + 1);
  for (std::uint32_t k = 1; k <= kCodes; ++k) literal[k] = (k * 37 + k / 7) & 0xFF;

  BitWriter bits;
  LzwBytes expected;
  for (std::uint32_t k = 1; k <= kCodes; ++k) {
    // Entry e was made by code e - 256 and the first byte of code e - 255,
    // literals both here.
    std::uint32_t code = literal[k];
    for (const auto& placed : kPlaced) {
      if (placed[0] == k) code = placed[1];
    }
    if (code < 256) {
      expected.push_back(static_cast<std::uint8_t>(code));
    } else {
      expected.push_back(static_cast<std::uint8_t>(literal[code - 256]));
      expected.push_back(static_cast<std::uint8_t>(literal[code - 255]));
    }
    const unsigned field = k < 256 ? 9 : k < 768 ? 10 : 11;  // 256 and 768 raise the width
    bits.Put(code, field);
    if (k == 255) {
      ASSERT_EQ(bits.bit_count(), 9u * 255);
    }
    if (k == 256) {
      ASSERT_EQ(bits.bit_count(), 9u * 255 + 10);
    }
  }
  bits.Put(256, 11);

  const Decoded decoded = Decode(MakeLzwBlock(bits.bytes()), expected.size());
  EXPECT_EQ(decoded.status, LzwStatus::kOk);
  EXPECT_EQ(decoded.output, expected);
}

// The addition that would bring the next free code to 2^17 fails, so the
// largest block has 2^17 - 257 codes before its end code.
TEST(LzwDecoder, BlockHoldsAtMostTheLargestDictionary) {
  for (std::uint32_t codes : {test::kLzwMaxBlockCodes, test::kLzwMaxBlockCodes + 1}) {
    SCOPED_TRACE(codes);
    const LzwBytes literals = test::SampleText(codes, 5);
    LzwPayloadWriter writer;
    for (std::uint8_t byte : literals) writer.Code(byte);
    EXPECT_EQ(writer.width(), codes == test::kLzwMaxBlockCodes ? 17u : 18u);
    writer.End();
    const Decoded decoded = Decode(MakeLzwBlock(writer.bytes()), literals.size());
    if (codes == test::kLzwMaxBlockCodes) {
      EXPECT_EQ(decoded.status, LzwStatus::kOk);
      EXPECT_EQ(decoded.output, literals);
    } else {
      EXPECT_EQ(decoded.status, LzwStatus::kCorrupt);
    }
  }
}

// A run of one byte makes each entry one longer than the last: codes 65, 257,
// 258, ... build a chain of 2^17 - 258 entries. The strings add up to far
// more than any output, so the output limit keeps the first 16 MiB (strings
// up to 5,800 bytes long decoded whole); the rest is only checked, and a bad
// code in the block after it still fails.
TEST(LzwDecoder, DeepestChainDecodesAndIsCheckedPastTheOutputLimit) {
  LzwPayloadWriter chain;
  chain.Code('a');
  for (std::uint32_t code = 257; code <= (1u << 17) - 2; ++code) chain.Code(code);
  ASSERT_EQ(chain.codes(), test::kLzwMaxBlockCodes);
  chain.End();
  const LzwBytes deep = MakeLzwBlock(chain.bytes());
  constexpr std::size_t kOutput = 16 << 20;

  const Decoded decoded = Decode(Concat({deep, MakeLzwBlock(kAbab)}), kOutput);
  EXPECT_EQ(decoded.status, LzwStatus::kOk);
  EXPECT_TRUE(std::all_of(decoded.output.begin(), decoded.output.end(),
                          [](std::uint8_t byte) { return byte == 'a'; }));
  EXPECT_EQ(Decode(Concat({deep, MakeLzwBlock(kRanAhead)}), kOutput).status,
            LzwStatus::kCorrupt);
}

TEST(LzwDecoder, BlocksFollowOneAnotherByPayloadLength) {
  const LzwBytes slack = {0xFF, 0xFF, 0xFF, 0x00, 0x01};
  // Block one has PayloadLength 2 although its codes run on to its end code
  // in the next block's header; block two starts at byte 14 and holds codes
  // 66, 256.
  const LzwBytes overlapping = {0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0x41, 0x02,
                                0x02, 0x04, 0, 0, 3, 0, 0, 0, 9, 9, 9, 9, 0x42, 0x00, 0x02};
  auto with_length = [](const LzwBytes& payload, std::uint32_t length) {
    return MakeLzwBlock(payload, length, 0x12345678, 0x9ABCDEF0);
  };
  const struct {
    const char* what;
    LzwBytes stream;
    LzwBytes expected;
  } cases[] = {
      // The second block's 257 is its own "AB", not the first block's "AA".
      {"two blocks", Concat({MakeLzwBlock(kTripleA), MakeLzwBlock(kAbab)}),
       {0x41, 0x41, 0x41, 0x41, 0x42, 0x41, 0x42}},
      {"an empty block between them",
       Concat({MakeLzwBlock(kTripleA), MakeLzwBlock(kEmpty), MakeLzwBlock(kAbab)}),
       {0x41, 0x41, 0x41, 0x41, 0x42, 0x41, 0x42}},
      {"bytes after the end code skipped",
       Concat({with_length(Concat({kTripleA, slack}), 9), MakeLzwBlock(kAbab)}),
       {0x41, 0x41, 0x41, 0x41, 0x42, 0x41, 0x42}},
      {"codes read past PayloadLength", overlapping, {0x41, 0x41, 0x41, 0x42}},
      // 12 + PayloadLength reaches 2^32 or beyond: no next block.
      {"PayloadLength 2^32 - 12", with_length(kTripleA, 0xFFFFFFF4), {0x41, 0x41, 0x41}},
      {"PayloadLength 2^32 - 1", with_length(kTripleA, 0xFFFFFFFF), {0x41, 0x41, 0x41}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Decoded decoded = Decode(c.stream, c.expected.size());
    EXPECT_EQ(decoded.status, LzwStatus::kOk);
    EXPECT_EQ(decoded.output, c.expected);
  }
}

// Nothing past the stored bytes is read: a header or a code that does not lie
// whole within them fails the call.
TEST(LzwDecoder, StreamsCutShortFail) {
  LzwPayloadWriter no_end;
  for (std::uint8_t byte : test::SampleText(300, 1)) no_end.Code(byte);
  const LzwBytes triple = MakeLzwBlock(kTripleA);
  const LzwBytes cut_code(triple.begin(), triple.end() - 1);  // end code's last bit missing
  const LzwBytes cases[] = {
      {},
      LzwBytes(11, 0),
      LzwBytes(12, 0),
      Concat({MakeLzwBlock({}), {0x00}}),  // a 9-bit code in one byte
      cut_code,
      MakeLzwBlock(no_end.bytes()),
      Concat({triple, LzwBytes(11, 0)}),  // a second header cut
      Concat({triple, MakeLzwBlock({}, 2)}),
      Concat({triple, MakeLzwBlock({0x00}, 2)}),
  };
  for (const LzwBytes& stream : cases) {
    SCOPED_TRACE(stream.size());
    const Decoded decoded = Decode(stream, 4);
    EXPECT_EQ(decoded.status, LzwStatus::kCorrupt);
  }
}

// A member larger than the buffer keeps its first bytes and is still checked
// to its end; a short member leaves zeros behind it, also when it fails.
TEST(LzwDecoder, OutputLimitKeepsFirstBytesAndChecksTheRest) {
  LzwPayloadWriter late_bad;  // a code that ran ahead, then a literal, far past the limit
  for (int i = 0; i < 2000; ++i) late_bad.Code('x');
  late_bad.Code(3000);
  late_bad.Code('y');
  late_bad.End();
  const struct {
    const char* what;
    LzwBytes stream;
    std::size_t size;
    LzwStatus status;
    LzwBytes output;
  } cases[] = {
      {"cut inside a string", MakeLzwBlock(kTripleA), 2, LzwStatus::kOk, {0x41, 0x41}},
      {"no room at all", MakeLzwBlock(kTripleA), 0, LzwStatus::kOk, {}},
      {"bad code after the limit", MakeLzwBlock(kRanAhead), 1, LzwStatus::kCorrupt, {0x42}},
      {"bad code long after the limit", MakeLzwBlock(late_bad.bytes()), 3, LzwStatus::kCorrupt,
       {'x', 'x', 'x'}},
      {"bad block after the limit", Concat({MakeLzwBlock(kAbab), MakeLzwBlock(kRanAhead)}), 4,
       LzwStatus::kCorrupt, {0x41, 0x42, 0x41, 0x42}},
      {"short member", MakeLzwBlock(kAbab), 9, LzwStatus::kOk, WithZeros({0x41, 0x42, 0x41, 0x42}, 5)},
      {"short member that fails", MakeLzwBlock(kRanAhead), 6, LzwStatus::kCorrupt,
       WithZeros({0x42, 0x42, 0x42}, 3)},
      {"empty stream", {}, 3, LzwStatus::kCorrupt, {0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Decoded decoded = Decode(c.stream, c.size);
    EXPECT_EQ(decoded.status, c.status);
    EXPECT_EQ(decoded.output, c.output);
  }
}

// Any buffer size gives the member's first bytes and then zeros, wherever the
// cut falls: in a literal, in a copied string or in a string that repeats
// its own first byte.
TEST(LzwDecoder, EveryOutputSizeGivesAPrefix) {
  const LzwBytes member = Concat({test::SampleText(3000, 8), test::SampleRuns(3000, 8)});
  const LzwBytes stream = test::EncodeLzw(member, {.max_block_codes = 700});
  for (std::size_t size = 0; size <= member.size() + 40; size += 1 + size % 7) {
    const Decoded decoded = Decode(stream, size);
    ASSERT_EQ(decoded.status, LzwStatus::kOk) << size;
    LzwBytes expected(member.begin(), member.begin() + std::min(size, member.size()));
    ASSERT_EQ(decoded.output, WithZeros(expected, size - expected.size())) << size;
  }
}

TEST(LzwDecoder, RoundTripsThroughTheEncoder) {
  const struct {
    const char* what;
    LzwBytes member;
  } members[] = {
      {"empty", {}},
      {"one byte", {0x7F}},
      {"short text", test::SampleText(40000, 15)},
      {"random", test::RandomBytes(1 << 20, 11)},
      {"text", test::SampleText(3 << 20, 12)},
      {"records", test::SampleRecords(1 << 20, 13)},
      {"runs", test::SampleRuns(3 << 20, 14)},
  };
  const test::LzwEncodeOptions options[] = {
      {},
      {.word0 = 0xFFFFFFFF, .word8 = 0x01020304, .slack = 3},
      {.max_block_codes = 1},
      {.max_block_codes = 255},
      {.max_block_codes = 256},
      {.max_block_codes = 767},
      {.max_block_codes = 768, .slack = 1},
      {.max_block_codes = 40000},
  };
  for (const auto& m : members) {
    for (const auto& option : options) {
      // One block per code makes 12+ bytes per byte: keep that one small.
      if (option.max_block_codes == 1 && m.member.size() > (64 << 10)) continue;
      SCOPED_TRACE(std::string(m.what) + ", codes per block " +
                   std::to_string(option.max_block_codes));
      const LzwBytes stream = test::EncodeLzw(m.member, option);
      const Decoded decoded = Decode(stream, m.member.size());
      ASSERT_EQ(decoded.status, LzwStatus::kOk);
      ASSERT_TRUE(decoded.output == m.member);
    }
  }
}

}  // namespace
}  // namespace kzr
