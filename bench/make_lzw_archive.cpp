// Packs files into an archive as compressed entries (LZW block streams), for
// the extraction benchmarks. The product never compresses; this uses the
// tests' encoder.
//   make_lzw_archive ARCHIVE FILE...
#include <cstdio>
#include <filesystem>

#include "support/archive_builder.h"
#include "support/lzw_encoder.h"
#include "support/temp_dir.h"

int main(int argc, char** argv) {
  using namespace kzr::test;
  if (argc < 3) {
    std::fprintf(stderr, "usage: make_lzw_archive ARCHIVE FILE...\n");
    return 2;
  }
  ArchiveBuilder builder(Flavour::kMasked);
  for (int i = 2; i < argc; ++i) {
    const Bytes member = ReadFileBytes(argv[i]);
    builder.AddCompressed(std::filesystem::path(argv[i]).filename().string(),
                          EncodeLzw(member), static_cast<std::uint32_t>(member.size()));
  }
  const Bytes archive = builder.Build();
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr || std::fwrite(archive.data(), 1, archive.size(), out) != archive.size() ||
      std::fclose(out) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
