// kzr mount: an archive's entries as a read-only tree of folders and files
// (Linux, through FUSE), and kzr unmount, which ends it.
//
// The archive is opened once and its tree built (mount_tree.h) before the
// folder is mounted, so that `kzr mount` returns with the tree ready. A
// member is read by position through that one open file (member_reader.h):
// a stored one where it lies, a compressed one decoded once per open (by a
// thread of its own when it is larger than the decoded-bytes window that
// --cache sizes).
//
// Versions. Every open of a file or folder first checks that the path still
// names the archive as it was opened; when not, the archive there is opened
// anew and its tree is shown from then on. Each version's files and folders
// are inodes of their own to the kernel (below), so pages the kernel keeps
// for one version are never read for another. A file open in an older
// version goes on reading that version: a replaced archive's old file still
// holds its bytes. Reads from an archive written over in place fail, since
// its bytes are no longer the ones its directory describes. An open that
// names an inode of an older version fails with ESTALE, on which the kernel
// looks the path up again (and finds the new version's inode).
//
// Round trips. Each request costs the reader a trip to this process and
// back, which is what reading many small files costs; so the kernel keeps
// names and attributes long (they never change for an inode), listings
// come with the attributes of what they list, and a small member goes into
// the kernel's pages with the answer to its first open, which saves the read
// that would follow. Reading a file then takes its open and its release.
#include <string>
#include <vector>

#include "commands.h"
#include "platform/files.h"

#if defined(__linux__)
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

#if defined(KZR_HAVE_FUSE)
#define FUSE_USE_VERSION 312  // libfuse 3.12 or later
#include <dlfcn.h>
#include <fcntl.h>
#include <fuse_lowlevel.h>
#include <pthread.h>
#include <signal.h>
#include <syslog.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>

#include "archive/member_reader.h"
#include "archive_view.h"
#include "messages.h"
#include "mount_tree.h"
#endif

namespace kzr::cli {

#if defined(KZR_HAVE_FUSE)
namespace {

// libfuse is loaded by kzr mount alone, so that kzr starts where it is
// missing and needs no library but the C library's. Its functions are
// pointers of the same names here, which the code below calls as it would
// call the library.
#define KZR_FUSE_FUNCTIONS(X)                                                                 \
  X(fuse_add_direntry) X(fuse_add_direntry_plus) X(fuse_daemonize) X(fuse_loop_cfg_create)     \
  X(fuse_loop_cfg_destroy) X(fuse_lowlevel_notify_inval_entry)                                 \
  X(fuse_lowlevel_notify_inval_inode) X(fuse_lowlevel_notify_store) X(fuse_opt_free_args)      \
  X(fuse_remove_signal_handlers) X(fuse_reply_attr) X(fuse_reply_buf) X(fuse_reply_entry)      \
  X(fuse_reply_err) X(fuse_reply_none) X(fuse_reply_open) X(fuse_reply_statfs)                 \
  X(fuse_req_userdata) X(fuse_session_destroy) X(fuse_session_mount) X(fuse_session_new)       \
  X(fuse_session_unmount) X(fuse_set_signal_handlers)
#define KZR_FUSE_POINTER(name) decltype(&::name) name = nullptr;
KZR_FUSE_FUNCTIONS(KZR_FUSE_POINTER)
decltype(&::fuse_session_loop_mt) fuse_session_loop_mt = nullptr;
#undef KZR_FUSE_POINTER

// Loads libfuse (3.12 or later); why it cannot, when it cannot.
std::optional<std::string> LoadFuse() {
  void* library = dlopen("libfuse3.so.3", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    return std::string("libfuse3 is missing (Debian: fuse3): ") + dlerror();
  }
  const auto bind = [&](auto& function, const char* name) {
    function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(library, name));
    return function != nullptr;
  };
#define KZR_FUSE_BIND(name) &&bind(name, #name)
  if (!(bind(fuse_session_loop_mt, "fuse_session_loop_mt_312") KZR_FUSE_FUNCTIONS(KZR_FUSE_BIND))) {
    return std::string("libfuse3 is older than 3.12");
  }
#undef KZR_FUSE_BIND
  return std::nullopt;
}

// How long the kernel may keep names and attributes before it asks again:
// long, since they never change (a new version has inodes of its own, and
// the old version's names are dropped when it goes).
constexpr double kTimeout = 3600.0;
// Members up to this long go into the kernel's pages when they are first
// opened, which saves the read that would follow.
constexpr std::uint32_t kPushedAtOpen = 64 << 10;
// At most this many requests push at once. A push waits for the kernel's
// lock on each page, which a reader that came between holds until its READ
// is answered; so that some thread of the loop (10 at most) is always free
// to answer it, the rest of the opens leave their files to be read.
constexpr int kMostPushesAtOnce = 4;
std::atomic<int> pushes_running{0};
struct PushSlot {
  PushSlot() : granted(pushes_running.fetch_add(1) < kMostPushesAtOnce) {}
  ~PushSlot() { --pushes_running; }
  PushSlot(const PushSlot&) = delete;
  PushSlot& operator=(const PushSlot&) = delete;
  const bool granted;
};

// One version of the archive, opened once with its tree built once. Open
// files and folders hold the version they were opened in.
struct Version {
  ArchiveView archive;
  std::unique_ptr<MountTree> tree;
  std::uint64_t number = 0;
  timespec time{};                           // the archive's
  std::atomic<std::uint64_t> lookups{0};     // the kernel's references to its inodes
  std::unique_ptr<std::atomic<bool>[]> pushed;  // by node: its member is in the kernel's pages
  std::atomic<bool> written_over{false};     // said once

  const FileIdentity& identity() const { return archive.reader().file().identity(); }
};

// Inodes: the root is FUSE_ROOT_ID in every version; node i of version v
// is (v + 1) << 32 | i.
fuse_ino_t InodeOf(const Version& version, std::uint32_t node) {
  return node == 0 ? FUSE_ROOT_ID : (version.number + 1) << 32 | node;
}

// What fi->fh holds: an open folder's or file's node, in the version it
// was opened in.
struct Handle {
  Handle(std::shared_ptr<Version> opened_in, std::uint32_t at)
      : version(std::move(opened_in)), node(at) {}
  virtual ~Handle() = default;
  std::shared_ptr<Version> version;
  std::uint32_t node;
};

struct OpenFile final : Handle {
  OpenFile(std::shared_ptr<Version> opened_in, std::uint32_t at, std::size_t window)
      : Handle(std::move(opened_in), at),
        reader(version->archive.reader(),
               version->archive.entries()[version->tree->at(at).entry].view, window) {}
  MemberReader reader;
  std::atomic<bool> failure_said{false};
};

Handle* HandleOf(const fuse_file_info* fi) { return reinterpret_cast<Handle*>(fi->fh); }

class MountedArchive {
 public:
  MountedArchive(const Context& context, std::string path, std::size_t window)
      : context_(context), path_(std::move(path)), window_(window) {}

  ~MountedArchive() {
    for (Handle* handle : handles_) delete handle;
  }

  const std::string& path() const { return path_; }
  std::size_t window() const { return window_; }
  fuse_session* session() const { return session_; }
  void set_session(fuse_session* session) { session_ = session; }

  // Opens the archive and builds its tree; false, said to the user, when
  // it cannot.
  bool Load() {
    try {
      current_ = LoadVersion();
    } catch (const std::bad_alloc&) {
      Say(path_ + ": " + Describe(Status::kNoMemory), true);
      return false;
    }
    if (current_) versions_.emplace(0, current_);
    return current_ != nullptr;
  }

  // From now on messages go to the system log: the process has left the
  // terminal.
  void Detach() {
    openlog("kzr", LOG_PID, LOG_USER);
    detached_ = true;
  }

  // The version and node of an inode; null for an inode of a version that
  // is gone.
  std::shared_ptr<Version> Resolve(fuse_ino_t inode, std::uint32_t& node) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (inode == FUSE_ROOT_ID) {
      node = 0;
      return current_;
    }
    const auto found = versions_.find((inode >> 32) - 1);
    node = static_cast<std::uint32_t>(inode);
    if (found == versions_.end() || node == 0 || node >= found->second->tree->size()) {
      return nullptr;
    }
    return found->second;
  }

  // The version to open files and folders in: the archive at the path,
  // opened anew when it is not the file, or not the state of the file, last
  // opened. Null (said once) while the path holds no archive that opens.
  std::shared_ptr<Version> ForOpen() {
    std::lock_guard<std::mutex> lock(mutex_);
    FileIdentity now;
    const bool there = IdentityOf(path_, now).ok();
    if (there && now == current_->identity()) return current_;
    // What failed to open before is not tried (nor said) again.
    if (failed_ && there == failed_there_ && (!there || now == failed_identity_)) return nullptr;
    std::shared_ptr<Version> next = LoadVersion();
    failed_ = next == nullptr;
    failed_there_ = there;
    failed_identity_ = now;
    if (!next) return nullptr;
    next->number = ++loads_;
    versions_.emplace(next->number, next);
    // The kernel drops the old version's names (on another thread: asking
    // it from here could wait for this very request), then its inodes,
    // which frees the version.
    const MountTree& old = *current_->tree;
    for (const std::uint32_t child : old.at(0).children) stale_names_.push_back(old.at(child).name);
    stale_.notify_all();
    if (current_->lookups == 0) versions_.erase(current_->number);
    current_ = std::move(next);
    return current_;
  }

  // The kernel's references to inodes of `version` go up by `count`, under
  // the lock that a new version takes to drop the old one; false when it
  // has been dropped already (the kernel will find its inodes stale).
  bool AddLookups(const std::shared_ptr<Version>& version, std::uint64_t count) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = versions_.find(version->number);
    if (found == versions_.end() || found->second != version) return false;
    version->lookups += count;
    return true;
  }

  // The kernel's references to the inode go down by `count`.
  void Forget(fuse_ino_t inode, std::uint64_t count) {
    if (inode == FUSE_ROOT_ID) return;
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = versions_.find((inode >> 32) - 1);
    if (found == versions_.end()) return;
    Version& version = *found->second;
    if ((version.lookups -= count) == 0 && found->second != current_) versions_.erase(found);
  }

  // Whether the file of `version` has been written over in place since it
  // was opened (said once): its members can no longer be read whole. A
  // file that another one replaced keeps its bytes.
  bool WrittenOver(Version& version) {
    FileIdentity now;
    if (!IdentityOf(path_, now).ok()) return false;
    const FileIdentity& then = version.identity();
    if (!now.SameFile(then) || now == then) return false;
    if (!version.written_over.exchange(true)) {
      Say(path_ + ": written over while files were open; they cannot be read any more (open "
                  "them again)",
          true);
    }
    return true;
  }

  // Puts the handle in fi->fh; what is still open at the end is freed then.
  void Keep(std::unique_ptr<Handle> handle, fuse_file_info* fi) {
    std::lock_guard<std::mutex> lock(mutex_);
    handles_.insert(handle.get());
    fi->fh = reinterpret_cast<std::uint64_t>(handle.release());
  }
  void Release(const fuse_file_info* fi) {
    Handle* handle = HandleOf(fi);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      handles_.erase(handle);
    }
    delete handle;
  }

  void Say(const std::string& message, bool error) const {
    if (detached_) {
      syslog(error ? LOG_ERR : LOG_WARNING, "%s", Printable(message).c_str());
    } else if (error) {
      context_.console.Error(message);
    } else {
      context_.console.Warning(message);
    }
  }

  // Tells the kernel, on a thread of its own, which names of older versions
  // to drop.
  void StartDropping(fuse_session* session) {
    dropper_ = std::thread([this, session] {
      std::unique_lock<std::mutex> lock(mutex_);
      for (;;) {
        stale_.wait(lock, [&] { return stopping_ || !stale_names_.empty(); });
        if (stopping_) return;
        const std::vector<std::string> names = std::move(stale_names_);
        stale_names_.clear();
        lock.unlock();
        for (const std::string& name : names) {
          fuse_lowlevel_notify_inval_entry(session, FUSE_ROOT_ID, name.c_str(), name.size());
        }
        fuse_lowlevel_notify_inval_inode(session, FUSE_ROOT_ID, -1, 0);  // its attributes
        lock.lock();
      }
    });
  }
  void StopDropping() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
      stale_.notify_all();
    }
    if (dropper_.joinable()) dropper_.join();
  }

 private:
  std::shared_ptr<Version> LoadVersion() {
    auto version = std::make_shared<Version>();
    if (!version->archive.Open(context_, path_)) {
      if (detached_) Say(version->archive.error(), true);
      return nullptr;
    }
    version->tree = std::make_unique<MountTree>(version->archive.entries());
    version->pushed.reset(new std::atomic<bool>[version->tree->size()]());
    const std::int64_t modified = version->identity().modified;
    version->time.tv_sec = static_cast<time_t>(modified / 1000000000);
    version->time.tv_nsec = static_cast<long>(modified % 1000000000);
    if (version->time.tv_nsec < 0) {
      version->time.tv_nsec += 1000000000;
      --version->time.tv_sec;
    }
    const std::vector<Entry>& entries = version->archive.entries();
    for (const MountTree::Hidden& hidden : version->tree->hidden()) {
      Say(path_ + ": " + Printable(Shown(entries[hidden.entry].name)) + ": not shown: " +
              hidden.reason,
          false);
    }
    if (version->archive.damaged()) Say(DamageMessage(path_, entries.size()), true);
    return version;
  }

  const Context& context_;
  const std::string path_;  // absolute: the mount leaves the current folder
  const std::size_t window_;
  bool detached_ = false;
  fuse_session* session_ = nullptr;
  std::mutex mutex_;
  std::shared_ptr<Version> current_;
  // Every version whose inodes the kernel may still name, by number.
  std::unordered_map<std::uint64_t, std::shared_ptr<Version>> versions_;
  std::uint64_t loads_ = 0;
  bool failed_ = false;  // the archive at the path did not open, missing or as it was then
  bool failed_there_ = false;
  FileIdentity failed_identity_;
  std::unordered_set<Handle*> handles_;  // open files and folders, freed at the end
  std::vector<std::string> stale_names_;
  std::condition_variable stale_;
  bool stopping_ = false;
  std::thread dropper_;
};

MountedArchive& Mounted(fuse_req_t request) {
  return *static_cast<MountedArchive*>(fuse_req_userdata(request));
}

// Serves a request; one that runs out of memory is answered ENOMEM (no
// exception reaches the library's C code).
template <typename Serve>
void Guarded(fuse_req_t request, Serve serve) noexcept {
  try {
    serve();
  } catch (...) {
    fuse_reply_err(request, ENOMEM);
  }
}

struct stat Attributes(const Version& version, std::uint32_t index) {
  struct stat st;
  std::memset(&st, 0, sizeof st);
  const MountTree::Node& node = version.tree->at(index);
  st.st_ino = InodeOf(version, index);
  if (node.is_folder()) {
    st.st_mode = S_IFDIR | 0555;
    st.st_nlink = 2 + node.folders;
  } else {
    const std::uint32_t size = version.archive.entries()[node.entry].view.UncompressedSize();
    st.st_mode = S_IFREG | 0444;
    st.st_nlink = 1;
    st.st_size = static_cast<off_t>(size);
    st.st_blocks = static_cast<blkcnt_t>((std::uint64_t{size} + 511) / 512);
  }
  st.st_uid = getuid();
  st.st_gid = getgid();
  st.st_blksize = 128 << 10;  // the reads' size that suits the members
  st.st_atim = st.st_mtim = st.st_ctim = version.time;
  return st;
}

fuse_entry_param EntryOf(const Version& version, std::uint32_t node) {
  fuse_entry_param entry;
  std::memset(&entry, 0, sizeof entry);
  entry.ino = InodeOf(version, node);
  entry.attr = Attributes(version, node);
  entry.attr_timeout = kTimeout;
  entry.entry_timeout = kTimeout;
  return entry;
}

void Init(void*, fuse_conn_info* connection) {
  // Listings always come with the attributes (READDIRPLUS), so that reading
  // what a listing names takes no lookup of each name.
  connection->want &= ~FUSE_CAP_READDIRPLUS_AUTO;
}

void Lookup(fuse_req_t request, fuse_ino_t parent, const char* name) {
  Guarded(request, [&] {
    std::uint32_t folder = 0;
    const std::shared_ptr<Version> version = Mounted(request).Resolve(parent, folder);
    if (!version) return void(fuse_reply_err(request, ESTALE));
    const MountTree& tree = *version->tree;
    if (!tree.at(folder).is_folder()) return void(fuse_reply_err(request, ENOTDIR));
    const std::uint32_t child = tree.Child(folder, name);
    if (child == MountTree::kNoNode) return void(fuse_reply_err(request, ENOENT));
    const fuse_entry_param entry = EntryOf(*version, child);
    if (!Mounted(request).AddLookups(version, 1)) return void(fuse_reply_err(request, ESTALE));
    if (fuse_reply_entry(request, &entry) != 0) Mounted(request).Forget(entry.ino, 1);
  });
}

void Forget(fuse_req_t request, fuse_ino_t inode, std::uint64_t count) {
  Mounted(request).Forget(inode, count);
  fuse_reply_none(request);
}

void ForgetMany(fuse_req_t request, std::size_t count, fuse_forget_data* forgets) {
  for (std::size_t i = 0; i < count; ++i) Mounted(request).Forget(forgets[i].ino, forgets[i].nlookup);
  fuse_reply_none(request);
}

void GetAttr(fuse_req_t request, fuse_ino_t inode, fuse_file_info*) {
  std::uint32_t node = 0;
  const std::shared_ptr<Version> version = Mounted(request).Resolve(inode, node);
  if (!version) return void(fuse_reply_err(request, ESTALE));
  const struct stat st = Attributes(*version, node);
  fuse_reply_attr(request, &st, kTimeout);
}

// The version and node to open `inode` in: the current version's, else
// ESTALE, so that the kernel looks the path up again; EIO while the path
// holds no archive that opens.
std::shared_ptr<Version> ToOpen(fuse_req_t request, fuse_ino_t inode, std::uint32_t& node) {
  MountedArchive& mounted = Mounted(request);
  const std::shared_ptr<Version> current = mounted.ForOpen();
  if (!current) {
    fuse_reply_err(request, EIO);
    return nullptr;
  }
  std::shared_ptr<Version> version = mounted.Resolve(inode, node);
  if (version != current) {
    fuse_reply_err(request, ESTALE);
    return nullptr;
  }
  return version;
}

void OpenDir(fuse_req_t request, fuse_ino_t inode, fuse_file_info* fi) {
  Guarded(request, [&] {
    std::uint32_t node = 0;
    std::shared_ptr<Version> version = ToOpen(request, inode, node);
    if (!version) return;
    if (!version->tree->at(node).is_folder()) return void(fuse_reply_err(request, ENOTDIR));
    MountedArchive& mounted = Mounted(request);
    mounted.Keep(std::make_unique<Handle>(std::move(version), node), fi);
    if (fuse_reply_open(request, fi) == -ENOENT) mounted.Release(fi);  // the call was given up
  });
}

// A folder's listing from position `offset` on: ".", "..", then its
// children by name; with `plus`, each child's attributes, which count as a
// lookup of it.
void List(fuse_req_t request, std::size_t size, off_t offset, fuse_file_info* fi, bool plus) {
  Guarded(request, [&] {
    const Handle& handle = *HandleOf(fi);
    MountedArchive& mounted = Mounted(request);
    Version& version = *handle.version;
    const MountTree& tree = *version.tree;
    const MountTree::Node& folder = tree.at(handle.node);
    std::unique_ptr<char[]> buffer(new char[size]);
    std::size_t used = 0;
    std::uint64_t linked = 0;  // children given with their attributes
    for (std::size_t at = static_cast<std::size_t>(offset); at < 2 + folder.children.size(); ++at) {
      const std::uint32_t node = at == 0   ? handle.node
                                 : at == 1 ? folder.parent
                                           : folder.children[at - 2];
      const char* name = at == 0 ? "." : at == 1 ? ".." : tree.at(node).name.c_str();
      const fuse_entry_param entry = EntryOf(version, node);
      const auto next = static_cast<off_t>(at + 1);
      const std::size_t added =
          plus ? fuse_add_direntry_plus(request, buffer.get() + used, size - used, name, &entry, next)
               : fuse_add_direntry(request, buffer.get() + used, size - used, name, &entry.attr, next);
      if (added > size - used) break;
      used += added;
      if (plus && at >= 2) ++linked;  // the kernel links no "." or ".."
    }
    // A listing of a dropped version still comes: its names fail as stale
    // when they are used.
    const bool counted = linked != 0 && mounted.AddLookups(handle.version, linked);
    if (fuse_reply_buf(request, buffer.get(), used) != 0 && counted) {
      mounted.Forget(InodeOf(version, folder.children.front()), linked);
    }
  });
}

void ReadDir(fuse_req_t request, fuse_ino_t, std::size_t size, off_t offset, fuse_file_info* fi) {
  List(request, size, offset, fi, false);
}

void ReadDirPlus(fuse_req_t request, fuse_ino_t, std::size_t size, off_t offset,
                 fuse_file_info* fi) {
  List(request, size, offset, fi, true);
}

void Open(fuse_req_t request, fuse_ino_t inode, fuse_file_info* fi) {
  if ((fi->flags & O_ACCMODE) != O_RDONLY) return void(fuse_reply_err(request, EROFS));
  Guarded(request, [&] {
    std::uint32_t node = 0;
    std::shared_ptr<Version> version = ToOpen(request, inode, node);
    if (!version) return;
    if (version->tree->at(node).is_folder()) return void(fuse_reply_err(request, EISDIR));
    MountedArchive& mounted = Mounted(request);
    auto file = std::make_unique<OpenFile>(version, node, mounted.window());
    const std::uint32_t size = file->reader.size();
    const PushSlot slot;
    if (slot.granted && size != 0 && size <= kPushedAtOpen &&
        !version->pushed[node].exchange(true)) {
      std::unique_ptr<std::uint8_t[]> bytes(new std::uint8_t[size]);
      std::size_t got = 0;
      fuse_bufvec pushed = FUSE_BUFVEC_INIT(size);
      pushed.buf[0].mem = bytes.get();
      if (!file->reader.ReadAt(0, bytes.get(), size, got).ok() || mounted.WrittenOver(*version) ||
          fuse_lowlevel_notify_store(mounted.session(), inode, 0, &pushed, {}) != 0) {
        version->pushed[node] = false;  // read as usual, failures and all
      }
    }
    mounted.Keep(std::move(file), fi);
    fi->keep_cache = 1;  // the inode's pages are this version's
    if (fuse_reply_open(request, fi) == -ENOENT) mounted.Release(fi);
  });
}

void Read(fuse_req_t request, fuse_ino_t, std::size_t size, off_t offset, fuse_file_info* fi) {
  Guarded(request, [&] {
    MountedArchive& mounted = Mounted(request);
    auto& file = static_cast<OpenFile&>(*HandleOf(fi));
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[size]);
    std::size_t got = 0;
    const Status status =
        file.reader.ReadAt(static_cast<std::uint64_t>(offset), buffer.get(), size, got);
    // Bytes read from a file written over are none of the version's (and
    // may not decode): that is the failure to report.
    if (mounted.WrittenOver(*file.version)) return void(fuse_reply_err(request, EIO));
    if (!status.ok()) {
      if (!file.failure_said.exchange(true)) {
        const Version& version = *file.version;
        const Entry& entry = version.archive.entries()[version.tree->at(file.node).entry];
        mounted.Say(mounted.path() + ": " + Printable(Shown(entry.name)) + ": " +
                        Describe(status),
                    true);
      }
      return void(fuse_reply_err(request, status == Status::kNoMemory ? ENOMEM : EIO));
    }
    fuse_reply_buf(request, reinterpret_cast<const char*>(buffer.get()), got);
  });
}

void Release(fuse_req_t request, fuse_ino_t, fuse_file_info* fi) {
  Mounted(request).Release(fi);
  fuse_reply_err(request, 0);
}

void StatFs(fuse_req_t request, fuse_ino_t) {
  std::uint32_t node = 0;
  const std::shared_ptr<Version> version = Mounted(request).Resolve(FUSE_ROOT_ID, node);
  struct statvfs st;
  std::memset(&st, 0, sizeof st);
  st.f_bsize = st.f_frsize = 4096;
  st.f_blocks = static_cast<fsblkcnt_t>((version->archive.reader().file().length() + 4095) / 4096);
  st.f_files = static_cast<fsfilcnt_t>(version->tree->size());
  st.f_namemax = MountTree::kLongestComponent;
  fuse_reply_statfs(request, &st);
}

// A value for -o, its commas and backslashes escaped.
std::string OptionValue(std::string_view value) {
  std::string escaped;
  for (const char c : value) {
    if (c == ',' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

}  // namespace

int RunMount(const Context& context, const MountOptions& options) {
  const Console& console = context.console;
  if (KindOf(options.folder, true) != FileKind::kFolder) {
    console.Error(options.folder + ": not a folder");
    return kExitFailure;
  }
  const std::string archive = AbsolutePath(options.archive);
  const std::string folder = AbsolutePath(options.folder);
  if (RelativeInside(archive, folder)) {
    console.Error(options.archive + ": lies inside " + options.folder +
                  ", which the mount would cover");
    return kExitFailure;
  }
  if (const std::optional<std::string> missing = LoadFuse()) {
    console.Error(*missing);
    return kExitFailure;
  }
  MountedArchive mounted(context, archive, options.cache_mib << 20);
  if (!mounted.Load()) return kExitFailure;

  fuse_lowlevel_ops operations{};
  operations.init = Init;
  operations.lookup = Lookup;
  operations.forget = Forget;
  operations.forget_multi = ForgetMany;
  operations.getattr = GetAttr;
  operations.opendir = OpenDir;
  operations.readdir = ReadDir;
  operations.readdirplus = ReadDirPlus;
  operations.releasedir = Release;
  operations.open = Open;
  operations.read = Read;
  operations.release = Release;
  operations.statfs = StatFs;

  std::string words[] = {"kzr", "-o",
                         "ro,default_permissions,subtype=kzr,fsname=" + OptionValue(archive)};
  char* argv[] = {words[0].data(), words[1].data(), words[2].data(), nullptr};
  fuse_args arguments = FUSE_ARGS_INIT(3, argv);
  const std::unique_ptr<fuse_args, void (*)(fuse_args*)> arguments_made(&arguments,
                                                                        fuse_opt_free_args);
  fuse_session* session = fuse_session_new(&arguments, &operations, sizeof operations, &mounted);
  if (session == nullptr) {
    console.Error(options.folder + ": the file system cannot be set up");
    return kExitFailure;
  }
  mounted.set_session(session);
  if (fuse_session_mount(session, folder.c_str()) != 0) {
    fuse_session_destroy(session);
    console.Error(options.folder + ": cannot mount the archive there (the reason is above)");
    return kExitFailure;
  }
  if (!options.foreground) {
    console.Note("mounted " + options.archive + " on " + options.folder + " (kzr unmount " +
                 options.folder + " ends it)");
  }
  console.Flush();
  std::fflush(stdout);
  // Without -f the process leaves the terminal: the command returns here,
  // with the tree mounted, and a child of it serves the mount.
  fuse_daemonize(options.foreground ? 1 : 0);
  if (!options.foreground) mounted.Detach();

  // The tool blocks these for a thread that waits for them; here they end
  // the mount instead, on this thread (which the kernel picks first), and
  // the file system's own threads block them all.
  fuse_set_signal_handlers(session);
  sigset_t signals;
  sigemptyset(&signals);
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, signal_number);
  mounted.StartDropping(session);
  pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
  const std::unique_ptr<fuse_loop_config, void (*)(fuse_loop_config*)> loop(
      fuse_loop_cfg_create(), fuse_loop_cfg_destroy);
  const int served = loop ? fuse_session_loop_mt(session, loop.get()) : -ENOMEM;
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  mounted.StopDropping();
  fuse_session_unmount(session);
  fuse_remove_signal_handlers(session);
  fuse_session_destroy(session);
  // A signal that ended it is no failure (the loop answers its number).
  return served >= 0 ? kExitOk : kExitFailure;
}

#else

int RunMount(const Context& context, const MountOptions&) {
#if defined(__linux__)
  context.console.Error(
      "this kzr was built without mount: libfuse3 was not found when it was built (Debian: "
      "libfuse3-dev)");
#else
  context.console.Error("kzr mount works on Linux only");
#endif
  return kExitFailure;
}

#endif

int RunUnmount(const Context& context, const UnmountOptions& options) {
  const Console& console = context.console;
#if defined(__linux__)
  std::vector<std::string> words = {"fusermount3", "-u"};
  if (options.lazy) words.emplace_back("-z");
  words.emplace_back("--");
  words.push_back(options.folder);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  console.Flush();
  pid_t child = 0;
  if (const int error = posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ);
      error != 0) {
    console.Error(error == ENOENT ? "fusermount3 is missing (Debian: fuse3)"
                                  : "fusermount3 cannot be run: " + SystemMessage(error));
    return kExitFailure;
  }
  int status = 0;
  while (waitpid(child, &status, 0) == -1 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return kExitOk;
  console.Error(options.folder + ": not unmounted" +
                (options.lazy ? "" : " (when it is in use, --lazy detaches it now and ends it "
                                     "when the last file in it is closed)"));
  return kExitFailure;
#else
  console.Error(options.folder + ": kzr unmount works on Linux only");
  return kExitFailure;
#endif
}

}  // namespace kzr::cli
