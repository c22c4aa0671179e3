// Makes archives for the command-line tests with the tests' builder, and
// reads their stored names back, so that no test script frames, masks or
// parses records of its own. It only makes and reads files, so it runs on
// the build machine also when the tool under test runs under wine.
//
//   make_test_archive [--plain] ARCHIVE ENTRY...
//     file:NAME:MEMBER        a member, stored as the flavour stores it
//     lzw:NAME:MEMBER         a member stored as an LZW stream
//     record:NAME:STORED:UNPACKED:FLAG
//                             stored bytes and sizes as given; FLAG is the
//                             Compressed field, and when it is not 0 the
//                             stored length is the CompressedSize
//     tail:BYTES              bytes after the last record, in the directory
//   NAME, MEMBER, STORED and BYTES in hex. The archive is masked unless
//   --plain. Prints the stored length of each entry, one a line.
//
//   make_test_archive --names ARCHIVE
//   Prints the stored names in directory order, in hex, one a line.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "support/archive_builder.h"
#include "support/lzw_encoder.h"

namespace {

using kzr::test::Bytes;

constexpr const char* kUsage =
    "usage: make_test_archive [--plain] ARCHIVE ENTRY...\n"
    "       make_test_archive --names ARCHIVE\n"
    "ENTRY: file:NAME:MEMBER | lzw:NAME:MEMBER | record:NAME:STORED:UNPACKED:FLAG | tail:BYTES\n"
    "       (names and bytes in hex)\n";

std::vector<std::string> Fields(const std::string& text) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t colon; (colon = text.find(':', start)) != std::string::npos;) {
    fields.push_back(text.substr(start, colon - start));
    start = colon + 1;
  }
  fields.push_back(text.substr(start));
  return fields;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

Bytes FromHex(const std::string& hex) {
  Bytes bytes;
  for (std::size_t at = 0; at < hex.size(); at += 2) {
    const int high = HexDigit(hex[at]);
    const int low = at + 1 < hex.size() ? HexDigit(hex[at + 1]) : -1;
    if (high < 0 || low < 0) throw std::invalid_argument("not hex bytes: " + hex);
    bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
  }
  return bytes;
}

std::string NameFromHex(const std::string& hex) {
  const Bytes bytes = FromHex(hex);
  return std::string(bytes.begin(), bytes.end());
}

std::uint32_t Number(const std::string& text) {
  std::size_t used = 0;
  const unsigned long value = std::stoul(text, &used, 0);
  if (used != text.size() || value > 0xFFFFFFFFul) throw std::invalid_argument("not a u32: " + text);
  return static_cast<std::uint32_t>(value);
}

// Adds one ENTRY to the builder; answers its stored length.
std::size_t AddEntry(kzr::test::ArchiveBuilder& builder, const std::string& entry) {
  const std::vector<std::string> fields = Fields(entry);
  const std::string& kind = fields[0];
  if (kind == "file" && fields.size() == 3) {
    const Bytes member = FromHex(fields[2]);
    builder.AddFile(NameFromHex(fields[1]), member);
    return member.size();
  }
  if (kind == "lzw" && fields.size() == 3) {
    const Bytes member = FromHex(fields[2]);
    const Bytes stream = kzr::test::EncodeLzw(member);
    builder.AddCompressed(NameFromHex(fields[1]), stream, static_cast<std::uint32_t>(member.size()));
    return stream.size();
  }
  if (kind == "record" && fields.size() == 5) {
    kzr::test::RecordSpec record;
    record.name = NameFromHex(fields[1]);
    record.stored = FromHex(fields[2]);
    record.uncompressed_size = Number(fields[3]);
    record.compressed = Number(fields[4]);
    if (record.compressed != 0) record.compressed_size = static_cast<std::uint32_t>(record.stored.size());
    const std::size_t stored = record.stored.size();
    builder.AddRecord(std::move(record));
    return stored;
  }
  throw std::invalid_argument("not an entry: " + entry);
}

int MakeArchive(bool plain, const std::string& path, const std::vector<std::string>& entries) {
  kzr::test::ArchiveBuilder builder(plain ? kzr::Flavour::kPlain : kzr::Flavour::kMasked);
  std::string sizes;
  for (const std::string& entry : entries) {
    if (entry.starts_with("tail:")) {
      builder.AppendToDirectory(FromHex(entry.substr(5)));
    } else {
      sizes += std::to_string(AddEntry(builder, entry)) + "\n";
    }
  }
  const Bytes archive = builder.Build();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(archive.data()),
            static_cast<std::streamsize>(archive.size()));
  out.close();
  if (!out) {
    std::perror(path.c_str());
    return 1;
  }
  std::cout << sizes;
  return 0;
}

int PrintNames(const std::string& path) {
  std::unique_ptr<kzr::ArchiveReader> reader;
  if (kzr::ArchiveReader::Open(path.c_str(), reader) != kzr::Status::kOk) {
    std::cerr << path << ": cannot be opened as an archive\n";
    return 1;
  }
  const kzr::DirectoryIndex& index = reader->index();
  for (std::size_t position = 0; position < index.EntryCount(); ++position) {
    const kzr::EntryView entry = index.EntryAt(position);
    for (std::uint32_t i = 0; i < entry.NameLength(); ++i) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(entry.Name()[i]));
      std::cout << hex;
    }
    std::cout << '\n';
  }
  return index.IsDamaged() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() == 2 && args[0] == "--names") return PrintNames(args[1]);
    const bool plain = !args.empty() && args[0] == "--plain";
    if (plain) args.erase(args.begin());
    if (args.empty() || args[0].starts_with("--")) {
      std::cerr << kUsage;
      return 2;
    }
    return MakeArchive(plain, args[0], std::vector<std::string>(args.begin() + 1, args.end()));
  } catch (const std::exception& error) {
    std::cerr << "make_test_archive: " << error.what() << "\n" << kUsage;
    return 2;
  }
}
