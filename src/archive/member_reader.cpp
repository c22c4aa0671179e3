#include "archive/member_reader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "codec/content_mask.h"

namespace kzr {
namespace {

// The most the decoding puts into the window at one time, so that readers
// get in between.
constexpr std::size_t kPiece = std::size_t{256} << 10;

}  // namespace

// Takes the decoded bytes into the window. On the decoding thread it waits
// while the window holds what the readers asked for and half a window more,
// or while more would push out bytes that a reader waits for, and stops
// when its run has been given up; decoding on the caller's thread (a member
// no longer than the window) it runs with the lock already held.
class MemberReader::WindowSink final : public MemberSink {
 public:
  WindowSink(MemberReader& owner, std::uint64_t run, bool threaded) noexcept
      : owner_(owner), run_(run), threaded_(threaded) {}

  Status Write(const std::uint8_t* bytes, std::size_t size) noexcept override {
    MemberReader& owner = owner_;
    const std::size_t capacity = owner.capacity_;
    while (size > 0) {
      std::unique_lock<std::mutex> lock(owner.mutex_, std::defer_lock);
      std::size_t piece = std::min(size, kPiece);
      if (threaded_) {
        lock.lock();
        owner.changed_.wait(lock, [&] { return owner.run_ != run_ || owner.Room() != 0; });
        if (owner.run_ != run_) return Status::kAborted;
        piece = static_cast<std::size_t>(std::min<std::uint64_t>(piece, owner.Room()));
      }
      const std::size_t at = static_cast<std::size_t>(owner.end_ % capacity);
      piece = std::min(piece, capacity - at);
      std::memcpy(owner.window_.get() + at, bytes, piece);
      owner.end_ += piece;
      if (owner.end_ - owner.start_ > capacity) owner.start_ = owner.end_ - capacity;
      if (threaded_) owner.changed_.notify_all();
      bytes += piece;
      size -= piece;
    }
    return Status::kOk;
  }

 private:
  MemberReader& owner_;
  const std::uint64_t run_;
  const bool threaded_;
};

MemberReader::MemberReader(const ArchiveReader& reader, const EntryView& entry,
                           std::size_t window) noexcept
    : reader_(reader), entry_(entry), window_size_(std::max(window, kMinWindow)) {}

MemberReader::~MemberReader() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++run_;
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
}

Status MemberReader::ReadAt(std::uint64_t offset, std::uint8_t* to, std::size_t size,
                            std::size_t& got) noexcept {
  got = 0;
  if (Status status = reader_.CheckEntry(entry_); !status.ok()) return status;
  if (offset >= this->size()) return Status::kOk;
  size = static_cast<std::size_t>(std::min<std::uint64_t>(size, this->size() - offset));
  if (!entry_.IsCompressed()) {
    Status status = ReadStored(offset, to, size);
    if (status.ok()) got = size;
    return status;
  }
  // In pieces that the window holds with room to spare.
  while (got < size) {
    const std::size_t piece = std::min(size - got, window_size_ / 4);
    if (Status status = ReadDecoded(offset + got, to + got, piece); !status.ok()) return status;
    got += piece;
  }
  return Status::kOk;
}

Status MemberReader::ReadStored(std::uint64_t offset, std::uint8_t* to, std::size_t size) noexcept {
  // The extent was checked: bytes that cannot be read are damage.
  if (!reader_.file().ReadAt(entry_.DataOffset() + offset, to, size).ok()) {
    return Status::kCorruptData;
  }
  if (reader_.header().IsMasked()) {
    DecodeContentMask(to, size, this->size());
    if (IsIniDatName(entry_.Name())) DecodeIniDatMask(to, size, this->size(), offset);
  }
  return Status::kOk;
}

Status MemberReader::ReadDecoded(std::uint64_t offset, std::uint8_t* to, std::size_t size) noexcept {
  const std::uint64_t end = offset + size;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return !restarting_; });
    if (!started_ || offset < start_) {
      if (Status status = Restart(lock, this->size() > window_size_); !status.ok()) return status;
      continue;
    }
    if (end <= end_) {
      CopyOut(offset, to, size);
      return Status::kOk;
    }
    if (finished_) {
      if (thread_.joinable()) thread_.join();  // it has nothing left to do
      return result_.ok() ? Status(Status::kCorruptData) : result_;
    }
    // Wait, holding the window from `offset` on, until the decoding has
    // reached `end`, failed, or been started again.
    limit_ = std::max(limit_, std::min<std::uint64_t>(this->size(), end + capacity_ / 2));
    const std::uint64_t run = run_;
    std::multiset<std::uint64_t>::iterator waiting;
    try {
      waiting = waiting_.insert(offset);
    } catch (...) {
      return Status::kNoMemory;
    }
    changed_.notify_all();
    changed_.wait(lock, [&] { return run_ != run || end <= end_ || finished_; });
    waiting_.erase(waiting);
    changed_.notify_all();
  }
}

std::uint64_t MemberReader::Room() const noexcept {
  std::uint64_t room = end_ < limit_ ? limit_ - end_ : 0;
  // Bytes from the first offset a reader waits for stay in the window.
  if (!waiting_.empty()) room = std::min(room, *waiting_.begin() + capacity_ - end_);
  return room;
}

Status MemberReader::Restart(std::unique_lock<std::mutex>& lock, bool threaded) noexcept {
  restarting_ = true;
  ++run_;
  changed_.notify_all();
  if (thread_.joinable()) {
    std::thread old = std::move(thread_);
    lock.unlock();
    old.join();
    lock.lock();
  }
  Status status = Status::kOk;
  if (!window_) {
    capacity_ = threaded ? window_size_ : std::max<std::size_t>(this->size(), 1);
    window_.reset(new (std::nothrow) std::uint8_t[capacity_]);
    if (!window_) status = Status::kNoMemory;
  }
  start_ = end_ = limit_ = 0;
  finished_ = false;
  result_ = Status::kOk;
  started_ = status.ok();
  const std::uint64_t run = run_;
  if (status.ok() && !threaded) {
    // The whole member fits: decoded here and now, and never again.
    MemberBuffers buffers;
    WindowSink sink(*this, run, false);
    result_ = reader_.ReadMember(entry_, &sink, buffers);
    finished_ = true;
  } else if (status.ok()) {
    try {
      thread_ = std::thread(&MemberReader::Decode, this, run);
    } catch (...) {
      started_ = false;
      status = Status::kNoMemory;
    }
  }
  restarting_ = false;
  changed_.notify_all();
  return status;
}

void MemberReader::Decode(std::uint64_t run) noexcept {
  MemberBuffers buffers;  // freed as the thread ends
  WindowSink sink(*this, run, true);
  const Status status = reader_.ReadMember(entry_, &sink, buffers);
  std::lock_guard<std::mutex> lock(mutex_);
  if (run_ != run) return;  // given up
  finished_ = true;
  result_ = status;
  changed_.notify_all();
}

void MemberReader::CopyOut(std::uint64_t offset, std::uint8_t* to, std::size_t size) const noexcept {
  const std::size_t at = static_cast<std::size_t>(offset % capacity_);
  const std::size_t first = std::min(size, capacity_ - at);
  std::memcpy(to, window_.get() + at, first);
  std::memcpy(to + first, window_.get(), size - first);
}

}  // namespace kzr
