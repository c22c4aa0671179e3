#include "listing_archive.h"

#include <iterator>
#include <random>

#include "archive/byte_order.h"
#include "archive/format.h"

namespace kzr::bench {
namespace {

std::string MemberName(std::mt19937& random, std::size_t serial) {
  static const char* const kFolders[] = {
      "ini\\dat\\",        "ini\\dat\\units\\", "art\\units\\",    "art\\terrain\\",
      "sound\\fx\\",       "sound\\speech\\",  "maps\\campaign\\", "scripts\\ai\\",
      "textures\\sky\\",   "ui\\",
  };
  static const char* const kExtensions[] = {".ini", ".tga", ".wav", ".map", ".txt", ".bin"};
  const std::string folder = kFolders[random() % std::size(kFolders)];
  const std::string extension = kExtensions[random() % std::size(kExtensions)];
  // The serial keeps names unique; random letters bring the whole name to
  // 15 to 40 characters.
  std::string stem = "obj" + std::to_string(serial) + "_";
  const std::size_t fixed = folder.size() + stem.size() + extension.size();
  const std::size_t shortest = fixed < 15 ? 15 : fixed;
  const std::size_t length = shortest + random() % (40 - shortest + 1);
  while (folder.size() + stem.size() + extension.size() < length) {
    stem += static_cast<char>('a' + random() % 26);
  }
  return folder + stem + extension;
}

}  // namespace

ListingArchive WriteListingArchive(const test::TempDir& folder, test::Flavour flavour) {
  std::mt19937 random(20240611);
  test::ArchiveBuilder builder(flavour);
  for (std::size_t i = 0; i < kListingEntries; ++i) {
    const std::string name = MemberName(random, i);
    builder.AddFile(name, test::RandomBytes(8 + random() % 120, static_cast<std::uint32_t>(i)));
  }
  const test::Bytes archive = builder.Build();
  ListingArchive made;
  made.path = folder.Write(flavour == test::Flavour::kMasked ? "masked.kzr" : "plain.kzr", archive);
  made.directory_offset = LoadU32(archive.data() + format::kHeaderDirectoryOffset);
  made.directory_length = LoadU32(archive.data() + format::kHeaderDirectoryLength);
  return made;
}

}  // namespace kzr::bench
