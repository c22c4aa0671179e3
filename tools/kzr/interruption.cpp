#include "interruption.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

#include "native_fs.h"
#include "plugin/platform_files.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dirent.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <thread>
#endif

namespace kzr::cli {
namespace {

std::mutex g_mutex;
std::condition_variable g_writing_ended;
std::multiset<std::string> g_folders;  // one per write under way
bool g_stopping = false;

void RemoveTemporaryFilesLocked() {
  const std::string mark = TemporaryMark();
  for (const std::string& folder : g_folders) {
    std::string error;
    const auto names = ListFolder(folder, error);
    if (!names) continue;
    for (const FolderEntry& entry : *names) {
      if (entry.name.find(mark) == std::string::npos) continue;
      const std::string path = WithTrailingSeparator(folder) + entry.name;
      if (entry.kind == FileKind::kFolder) {
        RemoveFolderOfFiles(path);
      } else {
        RemoveFile(path);
      }
    }
  }
}

// Removes this process's temporary files, for good: no new write begins
// from here on. A write under way (another thread's, with -j) may make its
// temporary file just after the first sweep: the second, once the writes have
// ended or half a second has passed, takes that too. (A write whose file the
// first sweep took may go on into the unlinked file until then.)
void StopWriting() {
  std::unique_lock lock(g_mutex);
  g_stopping = true;
  RemoveTemporaryFilesLocked();
  g_writing_ended.wait_for(lock, std::chrono::milliseconds(500), [] { return g_folders.empty(); });
  RemoveTemporaryFilesLocked();
}

#if defined(_WIN32)

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  StopWriting();
  ExitProcess(130);
}

#else

// Ends the process as `signal_number` would have: with its default action,
// now unblocked.
[[noreturn]] void EndAsSignalled(int signal_number) {
  signal(signal_number, SIG_DFL);
  sigset_t just_this;
  sigemptyset(&just_this);
  sigaddset(&just_this, signal_number);
  pthread_sigmask(SIG_UNBLOCK, &just_this, nullptr);
  raise(signal_number);
  _exit(128 + signal_number);
}

void WaitForSignals(sigset_t signals) {
  int signal_number = 0;
  if (sigwait(&signals, &signal_number) != 0) return;
  StopWriting();
  EndAsSignalled(signal_number);
}

#endif

}  // namespace

void HandleInterruptions() {
#if defined(_WIN32)
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
  signal(SIGXFSZ, SIG_IGN);
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  // A write to a pipe whose reader has gone fails (EPIPE) instead of ending
  // the process on the spot; EndIfOutputPipeClosed ends it once the command
  // has cleaned up.
  sigaddset(&signals, SIGPIPE);
  // Every thread started from here on inherits the mask; only the waiting
  // thread takes these signals.
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread(WaitForSignals, signals).detach();
#endif
}

void EndIfOutputPipeClosed() {
#if !defined(_WIN32)
  pollfd out{STDOUT_FILENO, POLLOUT, 0};
  if (poll(&out, 1, 0) == 1 && (out.revents & POLLERR) != 0) EndAsSignalled(SIGPIPE);
#endif
}

WritingIn::WritingIn(std::string folder) : folder_(std::move(folder)) {
  std::unique_lock lock(g_mutex);
  // Once kzr is stopping, a new write waits for the end of the process.
  g_writing_ended.wait(lock, [] { return !g_stopping; });
  g_folders.insert(folder_);
}

WritingIn::~WritingIn() {
  {
    std::lock_guard lock(g_mutex);
    g_folders.erase(g_folders.find(folder_));
  }
  g_writing_ended.notify_all();
}

}  // namespace kzr::cli
