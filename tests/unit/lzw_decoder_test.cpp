// The LZW block decoder: hand-written payloads, the width and position rules,
// the block, overlap and stream limits, the output limit, strings beyond the
// window, failures of the source and the sink, and round trips through the
// test encoder. Every stream goes through decoders with the default and the
// smallest window and input buffer, with and without a sink, and is checked
// against the reference decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "codec/lzw_decoder.h"
#include "support/archive_builder.h"
#include "support/lzw_encoder.h"
#include "support/lzw_reference_decoder.h"
#include "support/memory_streams.h"

namespace kzr {
namespace {

using test::BitWriter;
using test::CollectingSink;
using test::LzwBytes;
using test::LzwPayloadWriter;
using test::MakeLzwBlock;
using test::MemoryStoredBytes;

LzwDecoder& DefaultDecoder() {
  static const std::unique_ptr<LzwDecoder> decoder = LzwDecoder::Create();
  return *decoder;
}

// Slides every 256 KiB of output and fetches every dozen stored bytes.
LzwDecoder& SmallestDecoder() {
  static const std::unique_ptr<LzwDecoder> decoder =
      LzwDecoder::Create(LzwDecoder::kMinWindowSize, LzwDecoder::kMinInputSize);
  return *decoder;
}

struct Decoded {
  Status status;
  LzwBytes output;  // what the sink received
};

Decoded DecodeWith(LzwDecoder& decoder, const LzwBytes& stored, std::size_t output_size) {
  MemoryStoredBytes source(stored.data(), stored.size());
  CollectingSink sink;
  Decoded decoded{decoder.Decode(source, static_cast<std::uint32_t>(stored.size()),
                                 static_cast<std::uint32_t>(output_size), &sink),
                  sink.bytes()};
  EXPECT_FALSE(source.read_past_end());
  // Blocks overlap by 3 bytes at most, and a chunk fetched again starts at
  // most 3 bytes back.
  EXPECT_LE(source.bytes_read(), 2 * stored.size());
  return decoded;
}

// Decodes through both decoders and verifies only; all must agree with the
// reference decoder: the same answer and, on kOk, the same bytes. On a
// failure the sink holds a prefix of them. Returns the default decoder's.
Decoded Decode(const LzwBytes& stream, std::size_t output_size) {
  const LzwBytes stored(stream);  // exact size, so that the sanitizer sees reads past it
  LzwBytes reference(output_size, 0xCC);
  const Status expected = test::ReferenceDecodeLzw(
      stored.data(), static_cast<std::uint32_t>(stored.size()), reference.data(),
      static_cast<std::uint32_t>(reference.size()));
  std::optional<Decoded> first;
  for (LzwDecoder* decoder : {&DefaultDecoder(), &SmallestDecoder()}) {
    Decoded decoded = DecodeWith(*decoder, stored, output_size);
    EXPECT_EQ(decoded.status.code(), expected.code());
    if (decoded.status == Status::kOk) {
      EXPECT_TRUE(decoded.output == reference) << "other bytes than the reference decoder's";
    } else {
      EXPECT_LE(decoded.output.size(), reference.size());
      EXPECT_TRUE(std::equal(decoded.output.begin(), decoded.output.end(), reference.begin()));
    }
    MemoryStoredBytes source(stored.data(), stored.size());
    EXPECT_EQ(decoder->Decode(source, static_cast<std::uint32_t>(stored.size()),
                              static_cast<std::uint32_t>(output_size), nullptr),
              expected.code())
        << "verifying answered otherwise";
    if (!first) first = std::move(decoded);
  }
  return *first;
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
      EXPECT_EQ(decoded.status, Status::kOk);
      EXPECT_EQ(decoded.output, WithZeros(*c.expected, 3));
    } else {
      EXPECT_EQ(decoded.status, Status::kCorruptData);
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
  EXPECT_EQ(decoded.status, Status::kOk);
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
      EXPECT_EQ(decoded.status, Status::kOk);
      EXPECT_EQ(decoded.output, literals);
    } else {
      EXPECT_EQ(decoded.status, Status::kCorruptData);
    }
  }
}

// A run of one byte makes each entry one longer than the last: codes 65, 257,
// 258, ... build a chain of 2^17 - 258 entries. The strings add up to far
// more than any output, so the output limit keeps the first 16 MiB (strings
// up to 5,800 bytes long decoded whole, through more than the window); the
// rest is only checked, and a bad code in the block after it still fails.
TEST(LzwDecoder, DeepestChainDecodesAndIsCheckedPastTheOutputLimit) {
  LzwPayloadWriter chain;
  chain.Code('a');
  for (std::uint32_t code = 257; code <= (1u << 17) - 2; ++code) chain.Code(code);
  ASSERT_EQ(chain.codes(), test::kLzwMaxBlockCodes);
  chain.End();
  const LzwBytes deep = MakeLzwBlock(chain.bytes());
  constexpr std::size_t kOutput = 16 << 20;

  const Decoded decoded = Decode(Concat({deep, MakeLzwBlock(kAbab)}), kOutput);
  EXPECT_EQ(decoded.status, Status::kOk);
  EXPECT_TRUE(std::all_of(decoded.output.begin(), decoded.output.end(),
                          [](std::uint8_t byte) { return byte == 'a'; }));
  EXPECT_EQ(Decode(Concat({deep, MakeLzwBlock(kRanAhead)}), kOutput).status,
            Status::kCorruptData);
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
    EXPECT_EQ(decoded.status, Status::kOk);
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
    EXPECT_EQ(decoded.status, Status::kCorruptData);
  }
}

// A member that decodes to more than its size keeps its first bytes and is
// still checked to its end; a short member is followed by zeros, however
// many. (On a failure the sink's bytes are of no use; Decode checks that
// they are a prefix.)
TEST(LzwDecoder, OutputLimitKeepsFirstBytesAndChecksTheRest) {
  LzwPayloadWriter late_bad;  // a code that ran ahead, then a literal, far past the limit
  for (int i = 0; i < 2000; ++i) late_bad.Code('x');
  late_bad.Code(3000);
  late_bad.Code('y');
  late_bad.End();
  constexpr std::size_t kBeyondTheWindow = 13 << 20;
  const struct {
    const char* what;
    LzwBytes stream;
    std::size_t size;
    std::optional<LzwBytes> output;  // nullopt: corrupt
  } cases[] = {
      {"cut inside a string", MakeLzwBlock(kTripleA), 2, LzwBytes{0x41, 0x41}},
      {"no room at all", MakeLzwBlock(kTripleA), 0, LzwBytes{}},
      {"bad code after the limit", MakeLzwBlock(kRanAhead), 1, std::nullopt},
      {"bad code long after the limit", MakeLzwBlock(late_bad.bytes()), 3, std::nullopt},
      {"bad block after the limit", Concat({MakeLzwBlock(kAbab), MakeLzwBlock(kRanAhead)}), 4,
       std::nullopt},
      {"short member", MakeLzwBlock(kAbab), 9, WithZeros({0x41, 0x42, 0x41, 0x42}, 5)},
      {"short member, zeros beyond the window", MakeLzwBlock(kAbab), kBeyondTheWindow,
       WithZeros({0x41, 0x42, 0x41, 0x42}, kBeyondTheWindow - 4)},
      {"short member that fails", MakeLzwBlock(kRanAhead), 6, std::nullopt},
      {"empty stream", {}, 3, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Decoded decoded = Decode(c.stream, c.size);
    if (c.output) {
      EXPECT_EQ(decoded.status, Status::kOk);
      EXPECT_TRUE(decoded.output == *c.output);
    } else {
      EXPECT_EQ(decoded.status, Status::kCorruptData);
    }
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
    ASSERT_EQ(decoded.status, Status::kOk) << size;
    LzwBytes expected(member.begin(), member.begin() + std::min(size, member.size()));
    ASSERT_EQ(decoded.output, WithZeros(expected, size - expected.size())) << size;
  }
}

// Block one's codes run `past` bytes beyond its PayloadLength, into the
// header of block two, which begins there: the payload's last bytes are
// block two's word at offset 0.
LzwBytes OverlappingBlocks(std::uint32_t past) {
  LzwPayloadWriter codes;
  for (char c : std::string("overlap")) codes.Code(static_cast<std::uint8_t>(c));
  codes.End();  // 72 bits: the end code's top bit is the payload's last bit
  const LzwBytes& payload = codes.bytes();
  LzwBytes stream = MakeLzwBlock(payload, static_cast<std::uint32_t>(payload.size()) - past);
  const LzwBytes second = MakeLzwBlock(kAbab, static_cast<std::uint32_t>(kAbab.size()), 0x11111111);
  stream.insert(stream.end(), second.begin() + past, second.end());
  return stream;
}

// A block that another follows may run its codes at most 3 bytes past its
// payload; the last block is bound by the stored bytes alone.
TEST(LzwDecoder, BlocksOverlapByThreeBytesAtMost) {
  const LzwBytes both = {'o', 'v', 'e', 'r', 'l', 'a', 'p', 0x41, 0x42, 0x41, 0x42};
  LzwPayloadWriter to_the_end;
  for (char c : std::string("last")) to_the_end.Code(static_cast<std::uint8_t>(c));
  to_the_end.End();
  const struct {
    const char* what;
    LzwBytes stream;
    std::optional<LzwBytes> output;  // nullopt: corrupt
  } cases[] = {
      {"codes end in the payload", OverlappingBlocks(0), both},
      {"1 byte into the next block", OverlappingBlocks(1), both},
      {"3 bytes into the next block", OverlappingBlocks(3), both},
      {"4 bytes into the next block", OverlappingBlocks(4), std::nullopt},
      {"last block, PayloadLength past the stored end",
       MakeLzwBlock(to_the_end.bytes(), 1000), LzwBytes{'l', 'a', 's', 't'}},
      {"after a block, last block, PayloadLength past the stored end",
       Concat({MakeLzwBlock(kTripleA), MakeLzwBlock(to_the_end.bytes(), 0xFFFFFFFF)}),
       LzwBytes{0x41, 0x41, 0x41, 'l', 'a', 's', 't'}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Decoded decoded = Decode(c.stream, c.output ? c.output->size() : 16);
    if (c.output) {
      EXPECT_EQ(decoded.status, Status::kOk);
      EXPECT_EQ(decoded.output, *c.output);
    } else {
      EXPECT_EQ(decoded.status, Status::kCorruptData);
    }
  }
}

// One block whose second half uses strings made in its first half, more
// than the default window's worth of output earlier: text entries, and a
// 3,000-byte entry deep in the chain that a run builds. They are rebuilt
// from their chains (in the smallest window, nearly everything is).
TEST(LzwDecoder, StringsMadeBeforeTheWindowAreRebuilt) {
  const LzwBytes text = test::SampleText(150000, 21);
  const LzwBytes member =
      Concat({text, LzwBytes(14 << 20, 'a'), text, LzwBytes(3000, 'a'), text});
  const LzwBytes stream = test::EncodeLzw(member);
  ASSERT_EQ(test::GetU32(stream, 4) + 12, stream.size()) << "one block";
  const Decoded decoded = Decode(stream, member.size());
  EXPECT_EQ(decoded.status, Status::kOk);
  EXPECT_TRUE(decoded.output == member);
}

// Takes a member of any size in pieces: checks its first bytes, that the
// bytes after them are `filler` up to its last ones, and keeps those.
class HeadAndTailSink final : public MemberSink {
 public:
  HeadAndTailSink(LzwBytes head, std::uint8_t filler, std::uint64_t tail_from)
      : head_(std::move(head)), filler_(filler), tail_from_(tail_from) {}

  Status Write(const std::uint8_t* bytes, std::size_t size) noexcept override {
    for (std::size_t i = 0; i < size;) {
      const std::uint64_t at = count_ + i;
      if (at < head_.size()) {
        matches_ = matches_ && bytes[i] == head_[at];
        ++i;
      } else if (at < tail_from_) {
        const std::size_t run = static_cast<std::size_t>(std::min<std::uint64_t>(
            {tail_from_ - at, size - i, sizeof fillers_}));
        if (fillers_[0] != filler_) std::memset(fillers_, filler_, sizeof fillers_);
        matches_ = matches_ && std::memcmp(bytes + i, fillers_, run) == 0;
        i += run;
      } else {
        tail_.push_back(bytes[i]);
        ++i;
      }
    }
    count_ += size;
    return Status::kOk;
  }

  bool head_and_filler_match() const { return matches_; }
  const LzwBytes& tail() const { return tail_; }
  std::uint64_t count() const { return count_; }

 private:
  LzwBytes head_;
  std::uint8_t filler_;
  std::uint64_t tail_from_;
  std::uint8_t fillers_[1 << 16] = {};
  bool matches_ = true;
  LzwBytes tail_;
  std::uint64_t count_ = 0;
};

// Output positions come round past 4 GiB: strings made at the start of a
// member of nearly 4 GiB and used again at its end are not to be taken for
// strings in the window. One block: literals (making pairs), a chain of runs
// of 'a' up to nearly 2^32 bytes, then the pairs again.
TEST(LzwDecoder, StringsMadeFourGibibytesEarlierAreRebuilt) {
  LzwBytes text(200);
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<std::uint8_t>(i * 37 + 5);
  LzwPayloadWriter codes;
  for (std::uint8_t byte : text) codes.Code(byte);
  codes.Code('a');
  LzwBytes pairs;
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    pairs.insert(pairs.end(), {text[i], text[i + 1]});
  }
  std::uint64_t size = text.size() + 1;
  for (std::uint32_t length = 2; size + length + pairs.size() <= 0xFFFFFFFF; ++length) {
    codes.Code(256 + codes.codes());  // the next free code: the last run and one more 'a'
    size += length;
  }
  for (std::uint32_t pair = 0; pair + 1 < text.size(); ++pair) codes.Code(257 + pair);
  codes.End();
  size += pairs.size();
  ASSERT_GT(size, 0xFFFF0000u);
  const LzwBytes stream = MakeLzwBlock(codes.bytes());

  for (LzwDecoder* decoder : {&DefaultDecoder(), &SmallestDecoder()}) {
    MemoryStoredBytes source(stream.data(), stream.size());
    HeadAndTailSink sink(text, 'a', size - pairs.size());
    EXPECT_EQ(decoder->Decode(source, static_cast<std::uint32_t>(stream.size()),
                              static_cast<std::uint32_t>(size), &sink),
              Status::kOk);
    EXPECT_EQ(sink.count(), size);
    EXPECT_TRUE(sink.head_and_filler_match());
    EXPECT_EQ(sink.tail(), pairs);
  }
}

// A failed read and a failed write end the decode with their own answers,
// and the sink hears nothing after its failure.
TEST(LzwDecoder, SourceAndSinkFailuresArePassedOn) {
  const LzwBytes member = test::SampleText(1 << 20, 31);
  const LzwBytes stream = test::EncodeLzw(member, {.max_block_codes = 5000});
  constexpr std::uint64_t kNever = ~std::uint64_t{0};
  const std::size_t size = member.size() + 1000;  // with a zero fill
  const struct {
    const char* what;
    LzwDecoder* decoder;
    std::uint64_t fail_from;   // stored offset
    std::uint64_t fail_after;  // bytes handed to the sink
    Status::Code status;
  } cases[] = {
      {"first read", &DefaultDecoder(), 0, kNever, Status::kReadFailed},
      {"a later read", &SmallestDecoder(), stream.size() / 2, kNever, Status::kReadFailed},
      {"reading the last byte", &SmallestDecoder(), stream.size() - 1, kNever,
       Status::kReadFailed},
      {"first write", &DefaultDecoder(), kNever, 0, Status::kWriteFailed},
      {"a later window", &SmallestDecoder(), kNever, member.size() / 2, Status::kWriteFailed},
      {"writing the zeros", &DefaultDecoder(), kNever, member.size() + 10, Status::kWriteFailed},
      {"neither", &SmallestDecoder(), kNever, kNever, Status::kOk},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryStoredBytes source(stream.data(), stream.size(), c.fail_from);
    CollectingSink sink(true, c.fail_after);
    EXPECT_EQ(c.decoder->Decode(source, static_cast<std::uint32_t>(stream.size()),
                                static_cast<std::uint32_t>(size), &sink),
              c.status);
    EXPECT_FALSE(sink.written_after_failure());
    EXPECT_TRUE(std::equal(sink.bytes().begin(),
                           sink.bytes().begin() + std::min(sink.bytes().size(), member.size()),
                           member.begin()));
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
      ASSERT_EQ(decoded.status, Status::kOk);
      ASSERT_TRUE(decoded.output == m.member);
    }
  }
}

}  // namespace
}  // namespace kzr
