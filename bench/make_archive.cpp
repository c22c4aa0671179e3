// Makes archives for the whole-process benchmarks with the tests' builder
// (the product never compresses; this uses the tests' encoder).
//   make_archive [--plain] [--stored] [--entries N] ARCHIVE [FILE...]
// Each FILE becomes a member named after it: an LZW stream, or with
// --stored its bytes as the flavour stores them (masked unless --plain).
// --entries N adds N empty members with names like a game's folders hold.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "support/archive_builder.h"
#include "support/lzw_encoder.h"
#include "support/temp_dir.h"

int main(int argc, char** argv) {
  using namespace kzr::test;
  auto usage = [] {
    std::fputs("usage: make_archive [--plain] [--stored] [--entries N] ARCHIVE [FILE...]\n",
               stderr);
    return 2;
  };
  bool plain = false, stored = false;
  unsigned long entries = 0;
  int arg = 1;
  for (; arg < argc && std::strncmp(argv[arg], "--", 2) == 0; ++arg) {
    if (std::strcmp(argv[arg], "--plain") == 0) {
      plain = true;
    } else if (std::strcmp(argv[arg], "--stored") == 0) {
      stored = true;
    } else if (std::strcmp(argv[arg], "--entries") == 0 && arg + 1 < argc) {
      entries = std::stoul(argv[++arg]);
    } else {
      return usage();  // an unknown option, --help among them, is no archive name
    }
  }
  if (arg >= argc) return usage();
  const char* archive_path = argv[arg++];
  ArchiveBuilder builder(plain ? Flavour::kPlain : Flavour::kMasked);
  for (; arg < argc; ++arg) {
    const Bytes member = ReadFileBytes(argv[arg]);
    const std::string name = std::filesystem::path(argv[arg]).filename().string();
    if (stored) {
      builder.AddFile(name, member);
    } else {
      builder.AddCompressed(name, EncodeLzw(member), static_cast<std::uint32_t>(member.size()));
    }
  }
  char name[64];
  for (unsigned long i = 0; i < entries; ++i) {
    std::snprintf(name, sizeof name, "data\\units\\set%03lu\\unit%07lu.ini", i / 1000, i);
    builder.AddFile(name, {});
  }
  const Bytes archive = builder.Build();
  std::FILE* out = std::fopen(archive_path, "wb");
  if (out == nullptr || std::fwrite(archive.data(), 1, archive.size(), out) != archive.size() ||
      std::fclose(out) != 0) {
    std::perror(archive_path);
    return 1;
  }
  return 0;
}
