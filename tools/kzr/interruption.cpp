#include "interruption.h"

#include "platform/files.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <thread>
#endif

namespace kzr::cli {
namespace {

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

}  // namespace kzr::cli
