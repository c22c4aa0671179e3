// Interrupting kzr leaves nothing half-written behind. Every new file is
// written under a temporary name registered with the platform layer; on
// SIGINT, SIGTERM or SIGHUP (Ctrl-C, or closing the console, on Windows)
// kzr removes exactly those files and ends as the signal would have ended
// it. A write past the file size limit fails (EFBIG) rather than ending the
// process, so that it, too, is cleaned up like any other failed write; a
// write to a pipe whose reader has gone fails (EPIPE) and ends kzr once the
// command has cleaned up.
#pragma once

namespace kzr::cli {

// Call first in main(), before any other thread starts.
void HandleInterruptions();

// When stdout is a pipe (or socket) whose reader has gone, ends the process
// as SIGPIPE does, quietly (status 141 in a shell), as tools in a pipeline
// end under `head`; else (and always on Windows) returns.
void EndIfOutputPipeClosed();

}  // namespace kzr::cli
