// Throughput of the content decoders, counted in output bytes per second.
//
// LZW: 4 MiB members of three kinds (text, binary records, long runs),
// encoded once per process with the test encoder at full block size, decoded
// into one reused buffer. Masks: the two layers over a 4 MiB buffer in place,
// beside std::memcpy of the same size as the floor for a pass over memory.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codec/content_mask.h"
#include "codec/lzw_decoder.h"
#include "support/lzw_encoder.h"

namespace {

using kzr::test::LzwBytes;

constexpr std::size_t kMemberSize = 4 << 20;

enum class Kind { kText, kRecords, kRuns };

struct Sample {
  LzwBytes member;
  LzwBytes stream;
};

Sample MakeSample(Kind kind) {
  Sample sample;
  switch (kind) {
    case Kind::kText: sample.member = kzr::test::SampleText(kMemberSize, 1); break;
    case Kind::kRecords: sample.member = kzr::test::SampleRecords(kMemberSize, 2); break;
    case Kind::kRuns: sample.member = kzr::test::SampleRuns(kMemberSize, 3); break;
  }
  sample.stream = kzr::test::EncodeLzw(sample.member);
  return sample;
}

const Sample& SampleOf(Kind kind) {
  static const Sample text = MakeSample(Kind::kText);
  static const Sample records = MakeSample(Kind::kRecords);
  static const Sample runs = MakeSample(Kind::kRuns);
  return kind == Kind::kText ? text : kind == Kind::kRecords ? records : runs;
}

void BM_DecodeLzw(benchmark::State& state, Kind kind) {
  const Sample& sample = SampleOf(kind);
  LzwBytes output(sample.member.size());
  for (auto _ : state) {
    const kzr::LzwStatus status = kzr::DecodeLzwStream(
        sample.stream.data(), static_cast<std::uint32_t>(sample.stream.size()), output.data(),
        static_cast<std::uint32_t>(output.size()));
    if (status != kzr::LzwStatus::kOk) {
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

BENCHMARK_CAPTURE(BM_DecodeLzw, text, Kind::kText)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeLzw, records, Kind::kRecords)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeLzw, runs, Kind::kRuns)->Unit(benchmark::kMillisecond);

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
