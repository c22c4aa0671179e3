// Throughput of the content decoders, counted in output bytes per second.
//
// LZW: members of three kinds (text, binary records, long runs), encoded once
// per process with the test encoder at full block size.
//  - BM_ReferenceDecodeLzw: the whole-buffer reference decoder (the product's
//    decoder before it streamed), 4 MiB members into one reused buffer.
//  - BM_DecodeLzw: the streaming decoder, the same members, each fitting its
//    warm window, into a sink that takes the bytes and drops them.
//  - BM_DecodeLzwBeyondWindow: 40 MiB members, more than three windows each.
//  - BM_DecodeLzwStream/<kind>/<MB>: whole streams of 1, 10 and 100 MB
//    stored bytes, counted in stored bytes per second: a normal one (text
//    streams back to back); the crafted overlap stream (a block every 12
//    bytes, literal-0 codes running on across the blocks after, sparse end
//    codes), corrupt at its first block; and the worst legal stream, a block
//    every 12 bytes whose two codes run exactly 3 bytes past its payload.
//    (Without the overlap rule the crafted stream costs every block the
//    distance to its end code, quadratic work in all.)
// Masks: the two layers over a 4 MiB buffer in place, beside std::memcpy of
// the same size as the floor for a pass over memory.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "codec/content_mask.h"
#include "codec/lzw_decoder.h"
#include "support/lzw_encoder.h"
#include "support/lzw_reference_decoder.h"
#include "support/memory_streams.h"

namespace {

using kzr::Status;
using kzr::test::LzwBytes;

constexpr std::size_t kMemberSize = 4 << 20;
constexpr std::size_t kLargeMemberSize = 40 << 20;

enum class Kind { kText, kRecords, kRuns };

struct Sample {
  LzwBytes member;
  LzwBytes stream;
};

Sample MakeSample(Kind kind, std::size_t size) {
  Sample sample;
  switch (kind) {
    case Kind::kText: sample.member = kzr::test::SampleText(size, 1); break;
    case Kind::kRecords: sample.member = kzr::test::SampleRecords(size, 2); break;
    case Kind::kRuns: sample.member = kzr::test::SampleRuns(size, 3); break;
  }
  sample.stream = kzr::test::EncodeLzw(sample.member);
  return sample;
}

const Sample& SampleOf(Kind kind) {
  static const Sample text = MakeSample(Kind::kText, kMemberSize);
  static const Sample records = MakeSample(Kind::kRecords, kMemberSize);
  static const Sample runs = MakeSample(Kind::kRuns, kMemberSize);
  return kind == Kind::kText ? text : kind == Kind::kRecords ? records : runs;
}

const Sample& LargeSampleOf(Kind kind) {
  static const Sample text = MakeSample(Kind::kText, kLargeMemberSize);
  static const Sample records = MakeSample(Kind::kRecords, kLargeMemberSize);
  static const Sample runs = MakeSample(Kind::kRuns, kLargeMemberSize);
  return kind == Kind::kText ? text : kind == Kind::kRecords ? records : runs;
}

kzr::LzwDecoder& Decoder() {
  static const std::unique_ptr<kzr::LzwDecoder> decoder = kzr::LzwDecoder::Create();
  return *decoder;
}

// Takes the bytes and drops them, as a fast writer would.
class DroppingSink final : public kzr::MemberSink {
 public:
  Status Write(const std::uint8_t* bytes, std::size_t size) noexcept override {
    benchmark::DoNotOptimize(bytes);
    count += size;
    return Status::kOk;
  }
  std::uint64_t count = 0;
};

void BM_ReferenceDecodeLzw(benchmark::State& state, Kind kind) {
  const Sample& sample = SampleOf(kind);
  LzwBytes output(sample.member.size());
  for (auto _ : state) {
    const Status status = kzr::test::ReferenceDecodeLzw(
        sample.stream.data(), static_cast<std::uint32_t>(sample.stream.size()), output.data(),
        static_cast<std::uint32_t>(output.size()));
    if (status != Status::kOk) {
      state.SkipWithError("the stream did not decode");
      return;
    }
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
  if (output != sample.member) state.SkipWithError("the stream decoded to other bytes");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(sample.member.size()));
  state.counters["ratio"] = static_cast<double>(sample.stream.size()) /
                            static_cast<double>(sample.member.size());
}

void DecodeStreaming(benchmark::State& state, const Sample& sample) {
  kzr::LzwDecoder& decoder = Decoder();
  const auto stored_size = static_cast<std::uint32_t>(sample.stream.size());
  const auto output_size = static_cast<std::uint32_t>(sample.member.size());
  {
    kzr::test::MemoryStoredBytes source(sample.stream.data(), sample.stream.size());
    kzr::test::CollectingSink sink;
    if (decoder.Decode(source, stored_size, output_size, &sink) != Status::kOk ||
        sink.bytes() != sample.member) {
      state.SkipWithError("the stream decoded to other bytes");
      return;
    }
  }
  for (auto _ : state) {
    kzr::test::MemoryStoredBytes source(sample.stream.data(), sample.stream.size());
    DroppingSink sink;
    if (decoder.Decode(source, stored_size, output_size, &sink) != Status::kOk) {
      state.SkipWithError("the stream did not decode");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(sample.member.size()));
  state.counters["ratio"] = static_cast<double>(sample.stream.size()) /
                            static_cast<double>(sample.member.size());
}

void BM_DecodeLzw(benchmark::State& state, Kind kind) { DecodeStreaming(state, SampleOf(kind)); }

void BM_DecodeLzwBeyondWindow(benchmark::State& state, Kind kind) {
  DecodeStreaming(state, LargeSampleOf(kind));
}

BENCHMARK_CAPTURE(BM_ReferenceDecodeLzw, text, Kind::kText)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReferenceDecodeLzw, records, Kind::kRecords)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReferenceDecodeLzw, runs, Kind::kRuns)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeLzw, text, Kind::kText)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeLzw, records, Kind::kRecords)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeLzw, runs, Kind::kRuns)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeLzwBeyondWindow, text, Kind::kText)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeLzwBeyondWindow, records, Kind::kRecords)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeLzwBeyondWindow, runs, Kind::kRuns)->Unit(benchmark::kMillisecond);

// Whole streams of about `size` stored bytes.
enum class Shape { kNormal, kOverlap, kWorstLegal };

void PutU32(LzwBytes& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

struct Whole {
  LzwBytes stream;
  std::uint32_t output_size = 0;
  Status status = Status::kOk;
};

Whole MakeWhole(Shape shape, std::size_t size) {
  Whole whole;
  switch (shape) {
    case Shape::kNormal: {
      // Text streams back to back are one stream of their members back to back.
      const Sample& text = SampleOf(Kind::kText);
      while (whole.stream.size() < size) {
        whole.stream.insert(whole.stream.end(), text.stream.begin(), text.stream.end());
        whole.output_size += static_cast<std::uint32_t>(text.member.size());
      }
      break;
    }
    case Shape::kOverlap: {
      // 12-byte blocks, PayloadLength 0, so that every block's codes are the
      // bytes of the headers after it: zeros (literal 0) and, every 256
      // bytes, one set bit in an unread header word. Any single set bit
      // reads as a valid code, and ends a block where it falls on the end
      // code's bit 8 of the block's own code grid, some kilobytes on. Without
      // the overlap rule every block would be decoded over that distance;
      // with it the first block is corrupt at its third code.
      whole.stream.assign(size / 12 * 12, 0);
      std::mt19937 random(7);
      for (std::size_t at = 256; at + 12 <= whole.stream.size(); at += 256) {
        const std::size_t unit = at / 12 * 12;
        const std::uint32_t byte = random() % 8;  // a byte of word 0 or word 8
        whole.stream[unit + (byte < 4 ? byte : byte + 4)] |=
            static_cast<std::uint8_t>(1u << (random() % 8));
      }
      whole.output_size = static_cast<std::uint32_t>(whole.stream.size());
      whole.status = Status::kCorruptData;
      break;
    }
    case Shape::kWorstLegal: {
      // 12-byte blocks, PayloadLength 0, each with the codes 'x' and end in
      // the 3 bytes after its header, the first 3 bytes of the next header;
      // the last block's PayloadLength 3 ends the stream.
      const std::size_t blocks = size / 12;
      whole.stream.assign(blocks * 12 + 3, 0);
      const std::uint32_t codes = 'x' | 256u << 9;
      for (std::size_t block = 0; block < blocks; ++block) {
        const std::size_t payload = block * 12 + 12;
        for (int i = 0; i < 3; ++i) {
          whole.stream[payload + i] = static_cast<std::uint8_t>(codes >> (8 * i));
        }
      }
      PutU32(whole.stream, (blocks - 1) * 12 + 4, 3);
      whole.output_size = static_cast<std::uint32_t>(blocks);
      break;
    }
  }
  return whole;
}

void BM_DecodeLzwStream(benchmark::State& state, Shape shape) {
  const Whole whole = MakeWhole(shape, static_cast<std::size_t>(state.range(0)) * 1000 * 1000);
  kzr::LzwDecoder& decoder = Decoder();
  for (auto _ : state) {
    kzr::test::MemoryStoredBytes source(whole.stream.data(), whole.stream.size());
    DroppingSink sink;
    if (decoder.Decode(source, static_cast<std::uint32_t>(whole.stream.size()), whole.output_size,
                       &sink) != whole.status.code()) {
      state.SkipWithError("the stream answered otherwise than expected");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(whole.stream.size()));
}

BENCHMARK_CAPTURE(BM_DecodeLzwStream, normal, Shape::kNormal)
    ->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeLzwStream, overlap, Shape::kOverlap)
    ->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_DecodeLzwStream, worst_legal, Shape::kWorstLegal)
    ->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

// The masks as extraction runs them: a member in 1 MiB pieces.
void DecodeContentMaskInPieces(std::uint8_t* bytes, std::size_t size) {
  for (std::size_t at = 0; at < size; at += 1 << 20) {
    kzr::DecodeContentMask(bytes + at, std::min<std::size_t>(1 << 20, size - at),
                           static_cast<std::uint32_t>(size));
  }
}
void DecodeIniDatMaskInPieces(std::uint8_t* bytes, std::size_t size) {
  for (std::size_t at = 0; at < size; at += 1 << 20) {
    kzr::DecodeIniDatMask(bytes + at, std::min<std::size_t>(1 << 20, size - at),
                          static_cast<std::uint32_t>(size), at);
  }
}

template <void (*kPass)(std::uint8_t*, std::size_t)>
void BM_Mask(benchmark::State& state) {
  LzwBytes buffer = kzr::test::SampleText(kMemberSize, 4);
  for (auto _ : state) {
    kPass(buffer.data(), buffer.size());
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(buffer.size()));
}

void BM_Memcpy(benchmark::State& state) {
  const LzwBytes source = kzr::test::SampleText(kMemberSize, 4);
  LzwBytes destination(source.size());
  for (auto _ : state) {
    std::memcpy(destination.data(), source.data(), source.size());
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(source.size()));
}

BENCHMARK(BM_Mask<DecodeContentMaskInPieces>)->Name("BM_DecodeContentMask")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Mask<DecodeIniDatMaskInPieces>)->Name("BM_DecodeIniDatMask")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
