// Writes a small sample archive of both kinds of entry for the demonstration:
//   make_sample_archive OUTPUT
#include <cstdio>

#include "support/archive_builder.h"

int main(int argc, char** argv) {
  using namespace kzr::test;
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sample_archive OUTPUT\n");
    return 2;
  }
  ArchiveBuilder builder(Flavour::kMasked);
  builder.AddFile("readme.txt", BytesOf("A sample archive for the plugin.\n"))
      .AddFile("ini\\dat\\units.ini", BytesOf("[scout]\nspeed=12\nsight=9\n"))
      .AddFile("textures\\crate.raw", RandomBytes(4096, 7))
      .AddFile("empty.dat", {});
  const Bytes archive = builder.Build();
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr || std::fwrite(archive.data(), 1, archive.size(), out) != archive.size() ||
      std::fclose(out) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
