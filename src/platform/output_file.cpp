// The part of OutputFile that is the same on every system: buffering, the
// background writer, temporary names, and the register of temporary files.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <set>
#include <thread>

#include "base/utf8.h"
#include "platform/files.h"
#include "platform/system_calls.h"

namespace kzr {
namespace {

using system::kNoHandle;

// Small writes are gathered; a write at least this large goes straight on.
constexpr std::size_t kWriteBuffer = std::size_t{256} << 10;

std::atomic<unsigned> g_temporary_counter{0};

// The temporary files being written, by path, so that an interrupted
// program removes exactly those.
struct TemporaryFiles {
  std::mutex mutex;
  std::condition_variable changed;
  std::multiset<std::string> paths;
  bool stopping = false;

  static TemporaryFiles& Get() {
    static TemporaryFiles* files = new TemporaryFiles;  // lives while any thread may ask
    return *files;
  }
};

// Registers a temporary file; false once the program is being interrupted.
bool Register(const std::string& path) noexcept {
  TemporaryFiles& files = TemporaryFiles::Get();
  try {
    const std::lock_guard lock(files.mutex);
    if (files.stopping) return false;
    files.paths.insert(path);
  } catch (...) {  // without memory the file goes unregistered, as a killed one would
  }
  return true;
}

void Unregister(const std::string& path) noexcept {
  TemporaryFiles& files = TemporaryFiles::Get();
  {
    const std::lock_guard lock(files.mutex);
    if (const auto found = files.paths.find(path); found != files.paths.end()) {
      files.paths.erase(found);
    }
  }
  files.changed.notify_all();
}

}  // namespace

std::string TemporaryPathFor(const std::string& target, std::string_view tag) {
  std::size_t folder_end = 0;
  for (std::size_t at = 0; at < target.size(); ++at) {
    if (system::IsSeparator(target[at])) folder_end = at + 1;
  }
  const std::string suffix =
      ".kzr-tmp-" + std::to_string(system::ProcessId()) + "-" + std::string(tag);
  std::size_t base_length = target.size() - folder_end;
  base_length = std::min(base_length, system::LongestName() - suffix.size());
  if (folder_end + base_length + suffix.size() > system::LongestPath()) {
    const std::size_t room = system::LongestPath() > folder_end + suffix.size()
                                 ? system::LongestPath() - folder_end - suffix.size()
                                 : 1;
    base_length = std::max<std::size_t>(1, std::min(base_length, room));
  }
  base_length = utf8::CutPoint(std::string_view(target).substr(folder_end), base_length);
  return target.substr(0, folder_end + base_length) + suffix;
}

void RemoveTemporaryFiles() noexcept {
  TemporaryFiles& files = TemporaryFiles::Get();
  std::unique_lock lock(files.mutex);
  files.stopping = true;
  for (const std::string& path : files.paths) RemoveFile(path);
  // Writes under way end at their next step, or their rename fails; what
  // they made after the first sweep goes in the second.
  files.changed.wait_for(lock, std::chrono::milliseconds(500), [&] { return files.paths.empty(); });
  for (const std::string& path : files.paths) RemoveFile(path);
}

// --- OutputFile::Background ----------------------------------------------------

// A ring of kSlots pieces of kSlotSize bytes. The caller fills one piece at a
// time and queues it; the thread writes the queued pieces in order. The
// caller waits only when every piece is queued or being written, so memory
// stays at kSlots * kSlotSize whatever the file's size.
class OutputFile::Background {
 public:
  static constexpr std::size_t kSlots = 3;
  static constexpr std::size_t kSlotSize = std::size_t{1} << 20;

  explicit Background(OutputFile& file) noexcept : file_(file) {}
  ~Background() { Stop(); }
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;

  bool Start() noexcept {
    memory_.reset(new (std::nothrow) std::uint8_t[kSlots * kSlotSize]);
    if (!memory_) return false;
    try {
      thread_ = std::thread([this] { Run(); });
    } catch (...) {  // no thread to be had: the caller writes itself
      return false;
    }
    return true;
  }

  Status Write(const std::uint8_t* bytes, std::size_t size) noexcept {
    while (size != 0) {
      const std::size_t piece = std::min(kSlotSize - filling_size_, size);
      std::memcpy(Slot(filling_) + filling_size_, bytes, piece);
      filling_size_ += piece;
      bytes += piece;
      size -= piece;
      if (filling_size_ == kSlotSize) {
        if (Status status = Queue(); !status.ok()) return status;
      }
    }
    return Status::kOk;
  }

  // Queues what is filled, waits until everything is written and ends the
  // thread. The first failure.
  Status Stop() noexcept {
    if (!thread_.joinable()) return failure_;
    if (filling_size_ != 0) Queue();
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
    return failure_;
  }

 private:
  std::uint8_t* Slot(std::size_t slot) const noexcept { return memory_.get() + slot * kSlotSize; }

  // Hands the piece being filled to the thread and waits for a free one.
  Status Queue() noexcept {
    std::unique_lock lock(mutex_);
    sizes_[filling_] = filling_size_;
    ++queued_;
    changed_.notify_all();
    filling_ = (filling_ + 1) % kSlots;
    filling_size_ = 0;
    changed_.wait(lock, [this] { return queued_ < kSlots || !failure_.ok(); });
    return failure_;
  }

  void Run() noexcept {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return queued_ != 0 || stopping_; });
      if (queued_ == 0) return;  // stopping, and everything is written
      const std::size_t slot = (filling_ + kSlots - queued_) % kSlots;
      const bool failed = !failure_.ok();
      lock.unlock();
      // After a failure the rest is only taken off the queue: the file is
      // of no use any more.
      Status status = failed ? Status::kOk : file_.WriteThrough(Slot(slot), sizes_[slot]);
      lock.lock();
      if (!status.ok()) failure_ = std::move(status);
      --queued_;
      changed_.notify_all();
    }
  }

  OutputFile& file_;
  std::unique_ptr<std::uint8_t[]> memory_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  // The caller's side: the piece it fills (never queued while it does).
  std::size_t filling_ = 0;
  std::size_t filling_size_ = 0;
  // Shared, under mutex_: the queued pieces are the queued_ ones before
  // filling_, oldest first.
  std::size_t sizes_[kSlots] = {};
  std::size_t queued_ = 0;
  bool stopping_ = false;
  Status failure_;
};

// --- OutputFile --------------------------------------------------------------

OutputFile::OutputFile() = default;
OutputFile::~OutputFile() { Discard(); }

Status OutputFile::Create(const std::string& target, bool keep_access) noexcept {
  Discard();
  if (keep_access) {
    if (Status status = MayChange(target); !status.ok()) return status;
  }
  folder_ = kNoHandle;
  try {
    folder_path_.clear();
    target_ = target;
  } catch (...) {
    return Status::kNoMemory;
  }
  const Status status = Begin(kNoHandle);
  if (status.ok() && keep_access) system::CopyAccess(handle_, target);
  return status;
}

Status OutputFile::CreateIn(const Folder& folder, std::string_view name) noexcept {
  Discard();
  try {
    folder_path_ = folder.path();
    target_.assign(name);
  } catch (...) {
    return Status::kNoMemory;
  }
  folder_ = folder.handle();
  return Begin(folder_);
}

std::string OutputFile::Shown() const {
  try {
    return folder_path_ + target_;
  } catch (...) {
    return {};
  }
}

// Makes the temporary file for target_ (in `folder`, if one).
Status OutputFile::Begin(std::intptr_t folder) noexcept {
  try {
    for (int attempt = 0;; ++attempt) {
      temporary_ =
          TemporaryPathFor(target_, std::to_string(g_temporary_counter.fetch_add(1) + 1));
      if (!Register(folder_path_ + temporary_)) {
        temporary_.clear();
        return Status::kAborted;
      }
      const Status status = system::CreateNew(folder, folder_path_, temporary_, handle_);
      if (status.ok()) break;
      Unregister(folder_path_ + temporary_);
      if (status != Status::kExists || attempt == 100) {
        temporary_.clear();
        return Status::System(Status::kCannotCreate, status.system_error(), Shown());
      }
    }
  } catch (...) {
    temporary_.clear();
    return Status::kNoMemory;
  }
  position_ = 0;
  buffered_ = 0;
  return Status::kOk;
}

void OutputFile::WriteInBackground() noexcept {
  if (handle_ == kNoHandle || background_) return;
  if (!Flush().ok()) {
    Discard();  // the bytes are lost: every later Write, and Commit, fails
    return;
  }
  auto background = std::unique_ptr<Background>(new (std::nothrow) Background(*this));
  if (background && background->Start()) background_ = std::move(background);
}

Status OutputFile::StopBackground() noexcept {
  if (!background_) return Status::kOk;
  Status status = background_->Stop();
  background_.reset();
  return status;
}

Status OutputFile::WriteThrough(const void* bytes, std::size_t size) noexcept {
  Status status = system::WriteAll(handle_, bytes, size);
  return status.ok() ? status : status.About(Shown());
}

Status OutputFile::Flush() noexcept {
  if (buffered_ == 0) return Status::kOk;
  const std::size_t size = buffered_;
  buffered_ = 0;
  return WriteThrough(buffer_.get(), size);
}

Status OutputFile::Write(const void* bytes, std::size_t size) noexcept {
  if (handle_ == kNoHandle) return Status::kWriteFailed;
  if (size == 0) return Status::kOk;
  position_ += size;
  if (background_) return background_->Write(static_cast<const std::uint8_t*>(bytes), size);
  if (size >= kWriteBuffer) {
    if (Status status = Flush(); !status.ok()) return status;
    return WriteThrough(bytes, size);
  }
  if (!buffer_) {
    buffer_.reset(new (std::nothrow) std::uint8_t[kWriteBuffer]);
    if (!buffer_) return WriteThrough(bytes, size);
  }
  if (buffered_ + size > kWriteBuffer) {
    if (Status status = Flush(); !status.ok()) return status;
  }
  std::memcpy(buffer_.get() + buffered_, bytes, size);
  buffered_ += size;
  return Status::kOk;
}

Status OutputFile::WriteAt(std::uint64_t offset, const void* bytes, std::size_t size) noexcept {
  if (handle_ == kNoHandle) return Status::kWriteFailed;
  if (Status status = StopBackground(); !status.ok()) return status;
  if (Status status = Flush(); !status.ok()) return status;
  Status status = system::WriteAllAt(handle_, offset, bytes, size);
  return status.ok() ? status : status.About(Shown());
}

Status OutputFile::Commit(const Placing& placing) noexcept {
  if (handle_ == kNoHandle) return Status::kWriteFailed;
  Status status = StopBackground();
  if (status.ok()) status = Flush();
  if (status.ok() && placing.durable) status = system::FlushToDisk(handle_);
  if (!system::Close(handle_) && status.ok()) {
    status = Status::System(Status::kWriteFailed, system::LastError(), Shown());
  }
  handle_ = kNoHandle;
  if (status.ok() && (placing.expected != nullptr || placing.expected_absent)) {
    // The target must be what the caller read: another writer that put a
    // file there meanwhile keeps its change.
    FileIdentity now;
    const bool present = system::Identify(folder_, folder_path_, target_, now).ok();
    const bool same = placing.expected_absent
                          ? !present
                          : present && now == *placing.expected;
    if (!same) status = Status(Status::kChangedMeanwhile).About(Shown());
  }
  if (status.ok()) {
    status = system::Rename(folder_, folder_path_, temporary_, target_, placing.replace, placing.lock);
    if (!status.ok()) status.About(Shown());
  }
  if (!status.ok()) {
    Discard();
    return status;
  }
  try {
    Unregister(folder_path_ + temporary_);
  } catch (...) {
  }
  temporary_.clear();
  return Status::kOk;
}

void OutputFile::Discard() noexcept {
  if (temporary_.empty() && handle_ == kNoHandle) return;
  StopBackground();  // its thread writes to the handle closed below
  if (handle_ != kNoHandle) {
    system::Close(handle_);
    handle_ = kNoHandle;
  }
  if (!temporary_.empty()) {
    const int error = system::LastError();
    system::Remove(folder_, folder_path_, temporary_);
    try {
      Unregister(folder_path_ + temporary_);
    } catch (...) {
    }
    system::SetLastError(error);
  }
  temporary_.clear();
  buffered_ = 0;
}

}  // namespace kzr
