// Interrupting kzr leaves nothing half-written behind. Every new file, the
// plugin's and the tool's, is written under a temporary name "NAME.kzr-tmp-
// PID-N" beside its target (a private folder of such files is named the same
// way), and the tool knows the folders where such files may be under way. On
// SIGINT, SIGTERM, SIGHUP or SIGPIPE (Ctrl-C, or closing the console, on
// Windows) it removes this process's temporary files and folders from those
// folders and ends as the signal would have ended it. A write past the file
// size limit fails (EFBIG) rather than ending the process, so that it, too,
// is cleaned up like any other failed write.
#pragma once

#include <string>

namespace kzr::cli {

// Call first in main(), before any other thread starts.
void HandleInterruptions();

// While it lives, `folder` (ending with a separator) is one where this
// process may be writing temporary files.
class WritingIn {
 public:
  explicit WritingIn(std::string folder);
  ~WritingIn();
  WritingIn(const WritingIn&) = delete;
  WritingIn& operator=(const WritingIn&) = delete;

 private:
  std::string folder_;
};

// When stdout is a pipe (or socket) whose reader has gone, ends the process
// as SIGPIPE does, quietly (status 141 in a shell), as tools in a pipeline
// end under `head`; else (and always on Windows) returns.
void EndIfOutputPipeClosed();

}  // namespace kzr::cli
