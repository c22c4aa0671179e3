// Finding the records of a directory copy: where each one's fixed block lies
// and how long its name is, unmasking a masked directory in place on the way.
// No byte outside the copy is read or written.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kzr {

// Where one record lies in the directory copy: the offset of its fixed block
// and the length of its name before the NUL.
struct RecordSpan {
  std::uint32_t fixed_block;
  std::uint32_t name_length;
};

// How far a walk got: the records it took, and the position where it stopped,
// which is the directory's length when every record was intact.
struct DirectoryWalk {
  std::size_t records;
  std::size_t end;
};

// Both walks put one span per record taken into `spans`, in directory order;
// `spans` has room for length / kMinRecordLength spans (plain) or length /
// (kRecordLengthSize + kMinRecordLength) spans (masked), as every record takes
// at least that much.

// A plain directory: each record is the fixed block and the name up to its
// NUL. The walk stops before a record whose fixed block and NUL do not fit.
DirectoryWalk WalkPlain(const std::uint8_t* directory, std::size_t length,
                        RecordSpan* spans) noexcept;

// A masked directory: each record is a plain u16 RecordLength n and n bytes
// (fixed block, name, NUL) masked as one run, which are unmasked in place
// with the key chain started from n. The name ends at the first NUL after the
// fixed block. The walk stops before a record that breaks the limits: fewer
// than 2 bytes left for the prefix, n below kMinRecordLength, n running past
// the end. A record with no NUL after its fixed block is unmasked and then not
// taken, and the walk stops there too.
DirectoryWalk WalkMasked(std::uint8_t* directory, std::size_t length, RecordSpan* spans) noexcept;

}  // namespace kzr
