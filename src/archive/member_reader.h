// A member read at any offset, in any order, as a file system or a
// comparison pulls it, where ArchiveReader::ReadMember pushes a member from
// its start to its end.
//
// A stored member is read where it lies and unmasked in place (the masks
// depend only on the member's length and each byte's index): any offset costs
// the same, and nothing is kept between reads.
//
// A compressed member goes through a window of its most recent decoded
// bytes (`window` bytes). One no longer than the window is decoded whole
// into it by the first read. A longer one is decoded by a thread of the
// reader's own, started by the first read, which runs ahead of the furthest
// read by half the window and then waits; reads are answered from the
// window. A read of bytes that have left the window stops the decoding and
// starts it again from the member's start. So a member read from its start
// to its end (even in reads that overlap or come a little out of order) is
// decoded once; memory is the decoder's working set while the thread runs,
// plus the window, whatever the member's size.
//
// Several threads may read at once. The archive reader must outlive this
// object; the object holds no file of its own.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "archive/archive_reader.h"
#include "base/status.h"

namespace kzr {

class MemberReader {
 public:
  static constexpr std::size_t kMinWindow = std::size_t{256} << 10;

  // `window` is brought up to kMinWindow.
  MemberReader(const ArchiveReader& reader, const EntryView& entry,
               std::size_t window) noexcept;
  ~MemberReader();
  MemberReader(const MemberReader&) = delete;
  MemberReader& operator=(const MemberReader&) = delete;

  std::uint32_t size() const noexcept { return entry_.UncompressedSize(); }

  // Copies the member's bytes from `offset` on to `to`: `size` of them, or
  // fewer when the member ends first (none at or past its end); `got` says
  // how many. A read of the bytes before a decoding failure still succeeds.
  // kOk; kCorruptData (CheckEntry refuses the entry, or its stored bytes
  // cannot be read or do not decode); kNoMemory.
  Status ReadAt(std::uint64_t offset, std::uint8_t* to, std::size_t size,
                std::size_t& got) noexcept;

 private:
  class WindowSink;

  Status ReadStored(std::uint64_t offset, std::uint8_t* to, std::size_t size) noexcept;
  Status ReadDecoded(std::uint64_t offset, std::uint8_t* to, std::size_t size) noexcept;
  // Stops the decoding under way (waiting for its thread) and starts it
  // again from the member's start; with `threaded` false, decodes the whole
  // member into the window on the calling thread.
  Status Restart(std::unique_lock<std::mutex>& lock, bool threaded) noexcept;
  void Decode(std::uint64_t run) noexcept;
  // How many more bytes the decoding may put into the window now.
  std::uint64_t Room() const noexcept;
  void CopyOut(std::uint64_t offset, std::uint8_t* to, std::size_t size) const noexcept;

  const ArchiveReader& reader_;
  const EntryView entry_;
  const std::size_t window_size_;

  // The decoded bytes [start_, end_) lie in the window, byte p at p % size.
  std::mutex mutex_;
  std::condition_variable changed_;
  std::unique_ptr<std::uint8_t[]> window_;
  std::size_t capacity_ = 0;  // the window's size, or the member's when that is less
  std::uint64_t start_ = 0;
  std::uint64_t end_ = 0;
  std::uint64_t limit_ = 0;  // the decoding waits once it has reached this
  std::multiset<std::uint64_t> waiting_;  // where the readers that wait for it read from
  std::uint64_t run_ = 0;    // the decoding under way; a thread of an older one stops
  bool started_ = false;
  bool finished_ = false;  // the run has ended, with `result_`
  bool restarting_ = false;
  Status result_;
  std::thread thread_;
};

}  // namespace kzr
