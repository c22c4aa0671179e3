// The directory key chain of the masked flavour. Each record's bytes after its
// RecordLength prefix are XORed with DirectoryKeyTable[index]; the first index
// is the prefix's low nibble and every later one is the low nibble of the
// previous *stored* (masked) byte. A record therefore unmasks in place, front
// to back, from nothing but its own bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/entry_view.h"

namespace kzr {

// A chain in progress. The writer masks a record in several pieces (fixed
// block, then name and NUL), so the index carries over between calls.
class KeyChain {
 public:
  explicit KeyChain(std::uint16_t record_length) noexcept
      : index_(static_cast<std::uint8_t>(record_length & 0x0F)) {}

  void Mask(std::uint8_t* bytes, std::size_t size) noexcept;
  void Unmask(std::uint8_t* bytes, std::size_t size) noexcept;

 private:
  std::uint8_t index_;
};

// Unmasks one whole record run (the RecordLength bytes after the prefix).
void UnmaskRecord(std::uint8_t* bytes, std::size_t size, std::uint16_t record_length) noexcept;

// Where the walk over a masked directory stopped.
struct MaskedWalk {
  std::size_t records;  // spans stored, one per record taken
  std::size_t end;      // the walk position: `length` when every record was intact
};

// Walks a masked directory of `length` bytes front to back: each record is a
// plain u16 RecordLength n and the n bytes after it, which are unmasked in
// place with the chain started from n. For every record taken, its span (the
// fixed block's offset in `directory`, the name's length up to the first NUL
// after the fixed block) goes to `spans`, which has room for
// length / (kRecordLengthSize + kMinRecordLength) spans.
//
// The walk stops before a record that breaks the limits: fewer than 2 bytes
// left for the prefix, n below kMinRecordLength, n running past `length`.
// A record with no NUL after its fixed block is unmasked and then not taken,
// and the walk stops there too. No byte outside `directory` is read or written.
MaskedWalk UnmaskRecords(std::uint8_t* directory, std::size_t length, RecordSpan* spans) noexcept;

// Unmasking reads only stored bytes, so every key of a run is known before
// any byte is written and the run can be unmasked many bytes at a time. On x86
// processors with SSSE3 (and AVX2, for the directory walk) vector paths do so;
// elsewhere the byte loop runs. The path is chosen once per call of UnmaskRun
// or UnmaskRecords, not per record. Every path is exposed so that they can be
// checked against each other.
namespace key_chain_paths {

enum class Path { kBytewise, kSsse3, kAvx2 };

// Whether this build and this processor can take `path`; kBytewise always.
bool IsAvailable(Path path) noexcept;
// The path UnmaskRecords takes.
Path FastestPath() noexcept;

// Whether the vector path for whole runs (SSSE3) is available.
bool HasVectorUnmask() noexcept;

// Unmask `size` bytes starting from `index` and return the index that would
// follow the last byte. UnmaskVector only when HasVectorUnmask() is true.
std::uint8_t UnmaskBytewise(std::uint8_t* bytes, std::size_t size, std::uint8_t index) noexcept;
std::uint8_t UnmaskVector(std::uint8_t* bytes, std::size_t size, std::uint8_t index) noexcept;

// One record run of `size` bytes (at least kMinRecordLength) unmasked from
// `index` by the walk's own step; the result is the position of the first
// NUL at or after kRecordName, or `size` when there is none. Only bytes of
// the run are read or written. `path` must be available.
std::size_t UnmaskRecordWith(Path path, std::uint8_t* run, std::size_t size,
                             std::uint8_t index) noexcept;

// UnmaskRecords along `path`, which must be available.
MaskedWalk UnmaskRecordsWith(Path path, std::uint8_t* directory, std::size_t length,
                             RecordSpan* spans) noexcept;

}  // namespace key_chain_paths

}  // namespace kzr
