#include "interruption.h"

#include <mutex>
#include <set>

#include "native_fs.h"

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
std::multiset<std::string> g_folders;

void RemoveTemporaryFiles() {
  const std::string mark = TemporaryMark();
  std::lock_guard lock(g_mutex);
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

#if defined(_WIN32)

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  RemoveTemporaryFiles();
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
  RemoveTemporaryFiles();
  EndAsSignalled(signal_number);
}

#endif

}  // namespace

std::string TemporaryMark() { return ".kzr-tmp-" + std::to_string(ProcessNumber()) + "-"; }

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

bool OutputPipeClosed() {
#if defined(_WIN32)
  return false;
#else
  pollfd out{STDOUT_FILENO, POLLOUT, 0};
  return poll(&out, 1, 0) == 1 && (out.revents & POLLERR) != 0;
#endif
}

void EndIfOutputPipeClosed() {
#if !defined(_WIN32)
  if (OutputPipeClosed()) EndAsSignalled(SIGPIPE);
#endif
}

WritingIn::WritingIn(std::string folder) : folder_(std::move(folder)) {
  std::lock_guard lock(g_mutex);
  g_folders.insert(folder_);
}

WritingIn::~WritingIn() {
  std::lock_guard lock(g_mutex);
  g_folders.erase(g_folders.find(folder_));
}

}  // namespace kzr::cli
