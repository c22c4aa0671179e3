#include "plugin/platform_files.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

#include "plugin/host_code_page.h"
#include "plugin/host_interface.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kzr {
namespace {

constexpr std::size_t kWriteBuffer = std::size_t{256} << 10;

// Small writes are gathered; a write at least this large goes straight on.
constexpr std::size_t kLongestFileName = 255;

std::atomic<unsigned> g_temporary_counter{0};

#if defined(_WIN32)

using SystemError = DWORD;
SystemError LastError() noexcept { return GetLastError(); }
void RestoreError(SystemError error) noexcept { SetLastError(error); }
unsigned ProcessId() noexcept { return static_cast<unsigned>(GetCurrentProcessId()); }
bool IsSeparator(char c) noexcept { return c == '\\' || c == '/' || c == ':'; }
constexpr std::size_t kLongestPath = MAX_PATH - 1;

HANDLE AsHandle(std::intptr_t handle) noexcept { return reinterpret_cast<HANDLE>(handle); }
constexpr std::intptr_t kNoHandle = -1;  // INVALID_HANDLE_VALUE as a number

#else

using SystemError = int;
SystemError LastError() noexcept { return errno; }
void RestoreError(SystemError error) noexcept { errno = error; }
unsigned ProcessId() noexcept { return static_cast<unsigned>(getpid()); }
bool IsSeparator(char c) noexcept { return c == '/'; }
constexpr std::size_t kLongestPath = 4095;
constexpr std::intptr_t kNoHandle = -1;

int AsDescriptor(std::intptr_t handle) noexcept { return static_cast<int>(handle); }

#endif

}  // namespace

std::string TemporaryMark() { return ".kzr-tmp-" + std::to_string(ProcessId()) + "-"; }

std::string TemporaryPathFor(const std::string& target, const std::string& tag) {
  const std::size_t folder_end = host::AfterLastSeparator(target, IsSeparator);
  const std::string suffix = TemporaryMark() + tag;
  std::size_t base_length = target.size() - folder_end;
  base_length = std::min(base_length, kLongestFileName - suffix.size());
  if (folder_end + base_length + suffix.size() > kLongestPath) {
    const std::size_t room = kLongestPath > folder_end + suffix.size()
                                 ? kLongestPath - folder_end - suffix.size()
                                 : 1;
    base_length = std::max<std::size_t>(1, std::min(base_length, room));
  }
  base_length = host::WholeCharacters(std::string_view(target).substr(folder_end), base_length);
  return target.substr(0, folder_end + base_length) + suffix;
}

namespace {

std::string NextTemporaryPath(const std::string& target) {
  return TemporaryPathFor(target, std::to_string(g_temporary_counter.fetch_add(1) + 1));
}

}  // namespace

// --- InputFile ---------------------------------------------------------------

InputFile::~InputFile() {
  if (handle_ == kNoHandle) return;
#if defined(_WIN32)
  CloseHandle(AsHandle(handle_));
#else
  close(AsDescriptor(handle_));
#endif
}

Status InputFile::Open(const char* path) noexcept {
#if defined(_WIN32)
  const HANDLE file =
      CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Status::kCannotOpen;
  handle_ = reinterpret_cast<std::intptr_t>(file);
  LARGE_INTEGER size;
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size)) {
    return Status::kCannotOpen;
  }
  length_ = static_cast<std::uint64_t>(size.QuadPart);
#else
  // Not blocking, so that a named pipe is refused below instead of holding
  // the call until something writes to it; a regular file reads the same.
  const int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return Status::kCannotOpen;
  handle_ = descriptor;
  struct stat info{};
  if (fstat(descriptor, &info) != 0) return Status::kCannotOpen;
  if (!S_ISREG(info.st_mode)) {
    errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    return Status::kCannotOpen;
  }
  length_ = static_cast<std::uint64_t>(info.st_size);
#endif
  return Status::kOk;
}

Status InputFile::Read(std::uint8_t* to, std::size_t size, std::size_t& got) noexcept {
  got = 0;
#if defined(_WIN32)
  DWORD read = 0;
  if (!ReadFile(AsHandle(handle_), to, static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30)),
                &read, nullptr)) {
    return Status::kReadFailed;
  }
  got = read;
#else
  for (;;) {
    const ssize_t read_now = read(AsDescriptor(handle_), to, size);
    if (read_now >= 0) {
      got = static_cast<std::size_t>(read_now);
      break;
    }
    if (errno != EINTR) return Status::kReadFailed;
  }
#endif
  return Status::kOk;
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
      const std::size_t room = kSlotSize - filling_size_;
      const std::size_t piece = std::min(room, size);
      std::memcpy(Slot(filling_) + filling_size_, bytes, piece);
      filling_size_ += piece;
      bytes += piece;
      size -= piece;
      if (filling_size_ == kSlotSize) {
        if (const Status status = Queue(); status != Status::kOk) return status;
      }
    }
    return Status::kOk;
  }

  // Queues what is filled, waits until everything is written and ends the
  // thread. The first failure, its error code restored in this thread.
  Status Stop() noexcept {
    if (!thread_.joinable()) return failure_;
    if (filling_size_ != 0) Queue();
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
    if (failure_ != Status::kOk) RestoreError(error_);
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
    changed_.wait(lock, [this] { return queued_ < kSlots || failure_ != Status::kOk; });
    if (failure_ != Status::kOk) RestoreError(error_);
    return failure_;
  }

  void Run() noexcept {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return queued_ != 0 || stopping_; });
      if (queued_ == 0) return;  // stopping, and everything is written
      const std::size_t slot = (filling_ + kSlots - queued_) % kSlots;
      const bool failed = failure_ != Status::kOk;
      lock.unlock();
      // After a failure the rest is only taken off the queue: the file is
      // of no use any more.
      const Status status = failed ? Status::kOk : file_.WriteThrough(Slot(slot), sizes_[slot]);
      const SystemError error = LastError();
      lock.lock();
      if (status != Status::kOk) {
        failure_ = status;
        error_ = error;
      }
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
  Status failure_ = Status::kOk;
  SystemError error_{};
};

// --- OutputFile --------------------------------------------------------------

OutputFile::OutputFile() = default;
OutputFile::~OutputFile() { Discard(); }

void OutputFile::WriteInBackground() noexcept {
  if (handle_ == kNoHandle || background_) return;
  if (Flush() != Status::kOk) {
    Discard();  // the bytes are lost: every later Write, and Commit, fails
    return;
  }
  auto background = std::unique_ptr<Background>(new (std::nothrow) Background(*this));
  if (background && background->Start()) background_ = std::move(background);
}

Status OutputFile::StopBackground() noexcept {
  if (!background_) return Status::kOk;
  const Status status = background_->Stop();
  background_.reset();
  return status;
}

Status OutputFile::Create(const std::string& target, bool keep_access) {
  Discard();
  if (keep_access && !MayChange(target.c_str())) return Status::kCannotCreate;
  {
    target_ = target;
    for (int attempt = 0;; ++attempt) {
      temporary_ = NextTemporaryPath(target);
#if defined(_WIN32)
      (void)keep_access;  // the new file takes the folder's permissions
      const HANDLE file = CreateFileA(temporary_.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file != INVALID_HANDLE_VALUE) {
        handle_ = reinterpret_cast<std::intptr_t>(file);
        break;
      }
      const bool taken = GetLastError() == ERROR_FILE_EXISTS;
#else
      const int descriptor =
          open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      if (descriptor >= 0) {
        handle_ = descriptor;
        struct stat existing{};
        if (keep_access && stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
          // Best effort: an archive that was private stays private.
          if (fchown(descriptor, existing.st_uid, existing.st_gid) != 0) {
            // Only the owner's permissions then; not a reason to fail.
          }
          (void)fchmod(descriptor, existing.st_mode & 07777);
        }
        break;
      }
      const bool taken = errno == EEXIST;
#endif
      if (!taken || attempt == 100) {
        temporary_.clear();
        return Status::kCannotCreate;
      }
    }
  }
  position_ = 0;
  buffered_ = 0;
  return Status::kOk;
}

Status OutputFile::WriteThrough(const void* bytes, std::size_t size) noexcept {
  const auto* at = static_cast<const std::uint8_t*>(bytes);
  while (size != 0) {
#if defined(_WIN32)
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(AsHandle(handle_), at, piece, &written, nullptr) || written == 0) {
      if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_DISK_FULL);
      return Status::kWriteFailed;
    }
#else
    const ssize_t written = write(AsDescriptor(handle_), at, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = ENOSPC;
      return Status::kWriteFailed;
    }
#endif
    at += written;
    size -= static_cast<std::size_t>(written);
  }
  return Status::kOk;
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
    if (const Status status = Flush(); status != Status::kOk) return status;
    return WriteThrough(bytes, size);
  }
  if (!buffer_) {
    buffer_.reset(new (std::nothrow) std::uint8_t[kWriteBuffer]);
    if (!buffer_) return WriteThrough(bytes, size);
  }
  if (buffered_ + size > kWriteBuffer) {
    if (const Status status = Flush(); status != Status::kOk) return status;
  }
  std::memcpy(buffer_.get() + buffered_, bytes, size);
  buffered_ += size;
  return Status::kOk;
}

Status OutputFile::WriteAt(std::uint64_t offset, const void* bytes, std::size_t size) noexcept {
  if (handle_ == kNoHandle) return Status::kWriteFailed;
  if (const Status status = StopBackground(); status != Status::kOk) return status;
  if (const Status status = Flush(); status != Status::kOk) return status;
#if defined(_WIN32)
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  OVERLAPPED where{};
  where.Offset = at.LowPart;
  where.OffsetHigh = static_cast<DWORD>(at.HighPart);
  DWORD written = 0;
  if (!WriteFile(AsHandle(handle_), bytes, static_cast<DWORD>(size), &written, &where) ||
      written != size) {
    return Status::kWriteFailed;
  }
  // A positioned write moves the file pointer: back to the end.
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(position_);
  if (!SetFilePointerEx(AsHandle(handle_), end, nullptr, FILE_BEGIN)) return Status::kWriteFailed;
#else
  const ssize_t written =
      pwrite(AsDescriptor(handle_), bytes, size, static_cast<off_t>(offset));
  if (written < 0 || static_cast<std::size_t>(written) != size) {
    if (written >= 0) errno = ENOSPC;
    return Status::kWriteFailed;
  }
#endif
  return Status::kOk;
}

Status OutputFile::Commit(bool durable) noexcept {
  if (handle_ == kNoHandle) return Status::kWriteFailed;
  Status status = StopBackground();
  if (status == Status::kOk) status = Flush();
#if defined(_WIN32)
  if (status == Status::kOk && durable && !FlushFileBuffers(AsHandle(handle_))) {
    status = Status::kWriteFailed;
  }
  if (!CloseHandle(AsHandle(handle_)) && status == Status::kOk) status = Status::kWriteFailed;
  handle_ = kNoHandle;
  if (status == Status::kOk &&
      !MoveFileExA(temporary_.c_str(), target_.c_str(),
                   MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0))) {
    status = Status::kCannotCreate;
  }
#else
  if (status == Status::kOk && durable && fsync(AsDescriptor(handle_)) != 0) {
    status = Status::kWriteFailed;
  }
  if (close(AsDescriptor(handle_)) != 0 && status == Status::kOk) status = Status::kWriteFailed;
  handle_ = kNoHandle;
  if (status == Status::kOk && rename(temporary_.c_str(), target_.c_str()) != 0) {
    status = Status::kCannotCreate;
  }
#endif
  if (status != Status::kOk) {
    Discard();
    return status;
  }
  temporary_.clear();
  return Status::kOk;
}

void OutputFile::Discard() noexcept {
  if (temporary_.empty() && handle_ == kNoHandle) return;
  const SystemError error = LastError();
  StopBackground();  // its thread writes to the handle closed below
  if (handle_ != kNoHandle) {
#if defined(_WIN32)
    CloseHandle(AsHandle(handle_));
#else
    close(AsDescriptor(handle_));
#endif
    handle_ = kNoHandle;
  }
  if (!temporary_.empty()) RemoveFile(temporary_.c_str());
  temporary_.clear();
  buffered_ = 0;
  RestoreError(error);
}

// --- queries -------------------------------------------------------------------

#if defined(_WIN32)

bool PathExists(const char* path) noexcept {
  return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool MayChange(const char* path) noexcept {
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0) {
    return true;
  }
  SetLastError(ERROR_ACCESS_DENIED);
  return false;
}

bool IsSameFile(std::FILE* file, const char* path) noexcept {
  const auto open_handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  BY_HANDLE_FILE_INFORMATION open_info, path_info;
  if (!GetFileInformationByHandle(open_handle, &open_info)) return false;
  const HANDLE other =
      CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (other == INVALID_HANDLE_VALUE) return false;
  const bool known = GetFileInformationByHandle(other, &path_info) != 0;
  CloseHandle(other);
  return known && open_info.dwVolumeSerialNumber == path_info.dwVolumeSerialNumber &&
         open_info.nFileIndexHigh == path_info.nFileIndexHigh &&
         open_info.nFileIndexLow == path_info.nFileIndexLow;
}

std::uint32_t HostModificationTime(std::FILE* file) noexcept {
  constexpr std::uint32_t kEarliestTime = host::PackedTime(1980, 1, 1, 0, 0, 0);
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  FILETIME written, local;
  WORD date = 0, time = 0;
  if (!GetFileTime(handle, nullptr, nullptr, &written) ||
      !FileTimeToLocalFileTime(&written, &local) || !FileTimeToDosDateTime(&local, &date, &time)) {
    return kEarliestTime;
  }
  return std::max<std::uint32_t>(std::uint32_t{date} << 16 | time, kEarliestTime);
}

bool RemoveFile(const char* path) noexcept { return DeleteFileA(path) != 0; }
bool RemoveEmptyFolder(const char* path) noexcept { return RemoveDirectoryA(path) != 0; }

std::string FileBehindLinks(const char* path) { return path; }

#else

bool PathExists(const char* path) noexcept {
  struct stat info{};
  return lstat(path, &info) == 0;
}

bool MayChange(const char* path) noexcept {
  return access(path, W_OK) == 0 || errno == ENOENT;
}

bool IsSameFile(std::FILE* file, const char* path) noexcept {
  struct stat open_info{}, path_info{};
  return fstat(fileno(file), &open_info) == 0 && stat(path, &path_info) == 0 &&
         open_info.st_dev == path_info.st_dev && open_info.st_ino == path_info.st_ino;
}

std::uint32_t HostModificationTime(std::FILE* file) noexcept {
  struct stat info{};
  if (fstat(fileno(file), &info) != 0 || info.st_mtime < 0) return 0;
  return static_cast<std::uint32_t>(std::min<std::int64_t>(info.st_mtime, 0xFFFFFFFF));
}

bool RemoveFile(const char* path) noexcept { return unlink(path) == 0; }
bool RemoveEmptyFolder(const char* path) noexcept { return rmdir(path) == 0; }

std::string FileBehindLinks(const char* path) {
  struct stat info{};
  if (lstat(path, &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  const std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path, nullptr), &std::free);
  return resolved ? std::string(resolved.get()) : std::string(path);
}

#endif

}  // namespace kzr
