// The content masks: hand-worked values, round trips and the layer order.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "codec/content_mask.h"
#include "support/archive_builder.h"

namespace kzr {
namespace {

using test::Bytes;

// The addend walked byte by byte, exactly as the format defines it.
Bytes ReferenceIniDatEncode(Bytes bytes) {
  const auto l = static_cast<std::uint8_t>(bytes.size());
  std::uint8_t r = 0xA9;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(bytes[i] + r);
    if (i % 3 == 0) r = static_cast<std::uint8_t>(r + 0xB3);
    else if (i % 3 == 1) r = static_cast<std::uint8_t>(r + l);
    else r = static_cast<std::uint8_t>(r - static_cast<std::uint8_t>(i));
  }
  return bytes;
}

TEST(ContentMask, EncodesByHandWorkedValues) {
  // L = 2: l = 2, a = 0xC6 - 2 = 0xC4; 0x00 -> (0 ^ 2) + 0xC4 = 0xC6; 0xFF -> 0xFD + 0xC4 = 0xC1.
  Bytes bytes = {0x00, 0xFF};
  EncodeContentMask(bytes.data(), bytes.size(), 2);
  EXPECT_EQ(bytes, (Bytes{0xC6, 0xC1}));
  DecodeContentMask(bytes.data(), bytes.size(), 2);
  EXPECT_EQ(bytes, (Bytes{0x00, 0xFF}));
}

TEST(IniDatMask, EncodesByHandWorkedValues) {
  // L = 4, zeros: r0 = A9, r1 = A9 + B3 = 5C, r2 = 5C + 4 = 60, r3 = 60 - 2 = 5E.
  Bytes bytes(4, 0);
  EncodeIniDatMask(bytes.data(), bytes.size(), 4, 0);
  EXPECT_EQ(bytes, (Bytes{0xA9, 0x5C, 0x60, 0x5E}));
}

TEST(Masks, LengthZeroOrPastTheSignedCountLeavesTheBufferAlone) {
  Bytes bytes = {1, 2, 3};
  for (std::uint32_t length : {0u, 0x80000000u, 0xFFFFFED4u}) {
    EncodeContentMask(bytes.data(), bytes.size(), length);
    DecodeContentMask(bytes.data(), bytes.size(), length);
    EncodeIniDatMask(bytes.data(), bytes.size(), length, 0);
    DecodeIniDatMask(bytes.data(), bytes.size(), length, 0);
  }
  EXPECT_EQ(bytes, (Bytes{1, 2, 3}));
}

TEST(Masks, RoundTripOverManyLengthsAndMatchTheReferenceAddend) {
  for (std::size_t length : {1u, 2u, 3u, 4u, 255u, 256u, 257u, 1535u, 1536u, 1537u, 3073u,
                             5000u, 70001u}) {
    const Bytes original = test::RandomBytes(length, static_cast<std::uint32_t>(length));
    const auto member_length = static_cast<std::uint32_t>(length);
    Bytes bytes = original;
    EncodeIniDatMask(bytes.data(), length, member_length, 0);
    ASSERT_EQ(bytes, ReferenceIniDatEncode(original)) << length;
    EncodeContentMask(bytes.data(), length, member_length);
    DecodeContentMask(bytes.data(), length, member_length);
    DecodeIniDatMask(bytes.data(), length, member_length, 0);
    ASSERT_EQ(bytes, original) << length;
  }
}

TEST(Masks, LayersRemovedInTheWrongOrderDoNotRestore) {
  const Bytes original = test::RandomBytes(64, 3);
  Bytes bytes = original;
  EncodeIniDatMask(bytes.data(), 64, 64, 0);
  EncodeContentMask(bytes.data(), 64, 64);
  DecodeIniDatMask(bytes.data(), 64, 64, 0);
  DecodeContentMask(bytes.data(), 64, 64);
  EXPECT_NE(bytes, original);
}

TEST(Masks, OnlyTheLengthModulo256Matters) {
  const Bytes head = {9, 8, 7, 6, 5};
  Bytes short_buffer = head, long_buffer = head;
  long_buffer.resize(261, 0);
  EncodeIniDatMask(short_buffer.data(), 5, 5, 0);
  EncodeIniDatMask(long_buffer.data(), 261, 261, 0);
  EncodeContentMask(short_buffer.data(), 5, 5);
  EncodeContentMask(long_buffer.data(), 261, 261);
  EXPECT_TRUE(std::equal(short_buffer.begin(), short_buffer.end(), long_buffer.begin()));
}

TEST(Masks, PiecesGiveTheSameBytesAsTheWholeMember) {
  // A member masked in pieces of varied sizes, some longer than the
  // IniDatMask period and some starting in the middle of it.
  const std::size_t length = 9000;
  const Bytes original = test::RandomBytes(length, 11);
  Bytes whole = original;
  EncodeIniDatMask(whole.data(), length, length, 0);
  EncodeContentMask(whole.data(), length, length);
  for (const std::size_t piece : {1u, 7u, 1535u, 1536u, 1537u, 4000u}) {
    Bytes pieces = original;
    for (std::size_t at = 0; at < length; at += piece) {
      const std::size_t size = std::min(piece, length - at);
      EncodeIniDatMask(pieces.data() + at, size, length, at);
      EncodeContentMask(pieces.data() + at, size, length);
    }
    ASSERT_EQ(pieces, whole) << piece;
    for (std::size_t at = 0; at < length; at += piece) {
      const std::size_t size = std::min(piece, length - at);
      DecodeContentMask(pieces.data() + at, size, length);
      DecodeIniDatMask(pieces.data() + at, size, length, at);
    }
    ASSERT_EQ(pieces, original) << piece;
  }
}

TEST(IsIniDatName, MatchesThePrefixInAnyLetterCaseOnly) {
  EXPECT_TRUE(IsIniDatName("ini\\dat\\x.cfg"));
  EXPECT_TRUE(IsIniDatName("INI\\DAT\\x"));
  EXPECT_TRUE(IsIniDatName("Ini\\Dat\\"));
  EXPECT_FALSE(IsIniDatName("ini/dat/x"));
  EXPECT_FALSE(IsIniDatName("ini\\dat"));
  EXPECT_FALSE(IsIniDatName("\\ini\\dat\\x"));
  EXPECT_FALSE(IsIniDatName("xini\\dat\\"));
  EXPECT_FALSE(IsIniDatName(""));
  EXPECT_FALSE(IsIniDatName("ini\\d\xC1t\\"));
}

}  // namespace
}  // namespace kzr
