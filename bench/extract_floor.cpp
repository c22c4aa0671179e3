// The realistic floor of extracting a compressed member, for the
// whole-process comparison (compare_speed.py): the decoder into a buffer
// whose every page was touched before, then the member written out in one
// streaming pass, as a program that did nothing else would. Prints the two
// times in seconds, best of three each.
//   extract_floor ARCHIVE OUTPUT
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "archive/archive_reader.h"
#include "codec/lzw_decoder.h"
#include "support/memory_streams.h"

namespace {

using Clock = std::chrono::steady_clock;

// Copies the member into a buffer already paged in.
class WarmSink final : public kzr::MemberSink {
 public:
  explicit WarmSink(std::uint8_t* to) : to_(to) {}
  kzr::Status Write(const std::uint8_t* bytes, std::size_t size) noexcept override {
    std::memcpy(to_ + at_, bytes, size);
    at_ += size;
    return kzr::Status::kOk;
  }
  void Rewind() { at_ = 0; }

 private:
  std::uint8_t* to_;
  std::size_t at_ = 0;
};

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: extract_floor ARCHIVE OUTPUT\n");
    return 2;
  }
  std::unique_ptr<kzr::ArchiveReader> reader;
  if (kzr::ArchiveReader::Open(argv[1], reader) != kzr::Status::kOk) {
    std::fprintf(stderr, "%s: cannot open\n", argv[1]);
    return 1;
  }
  const kzr::EntryView entry = reader->index().EntryAt(0);
  std::vector<std::uint8_t> stored(entry.CompressedSize());
  if (!entry.IsCompressed() ||
      !reader->file().ReadAt(entry.DataOffset(), stored.data(), stored.size()).ok()) {
    std::fprintf(stderr, "%s: the first entry is no compressed member\n", argv[1]);
    return 1;
  }
  std::vector<std::uint8_t> member(entry.UncompressedSize(), 1);  // touched
  const std::unique_ptr<kzr::LzwDecoder> decoder = kzr::LzwDecoder::Create();
  double decode = 1e9, write = 1e9;
  for (int run = 0; run < 3; ++run) {
    kzr::test::MemoryStoredBytes source(stored.data(), stored.size());
    WarmSink sink(member.data());
    const auto start = Clock::now();
    if (decoder->Decode(source, static_cast<std::uint32_t>(stored.size()),
                        static_cast<std::uint32_t>(member.size()), &sink) != kzr::Status::kOk) {
      std::fprintf(stderr, "%s: does not decode\n", argv[1]);
      return 1;
    }
    decode = std::min(decode, Seconds(start));
  }
  for (int run = 0; run < 3; ++run) {
    std::remove(argv[2]);
    const auto start = Clock::now();
    std::FILE* out = std::fopen(argv[2], "wb");
    if (out == nullptr) return 1;
    std::setvbuf(out, nullptr, _IONBF, 0);
    constexpr std::size_t kPiece = std::size_t{8} << 20;
    for (std::size_t at = 0; at < member.size(); at += kPiece) {
      const std::size_t size = std::min(kPiece, member.size() - at);
      if (std::fwrite(member.data() + at, 1, size, out) != size) return 1;
    }
    if (std::fclose(out) != 0) return 1;
    write = std::min(write, Seconds(start));
  }
  std::printf("%.4f %.4f\n", decode, write);
  return 0;
}
