// kzr's command line: the commands with their aliases, their options and
// help texts (from which the manual page and the shell completion are made,
// so every option has a description), parsed by CLI11. Options are never
// taken in the Windows style ("/x"): an argument that begins with "/" is a
// path, on Windows too.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "commands.h"

namespace kzr::cli {

struct Invocation {
  bool quiet = false;
  bool verbose = false;
  unsigned jobs = 1;
  std::string names;  // the names' code page; empty: KZR_NAMES, else the default

  // The command chosen, run with the options below.
  std::function<int(const Context&)> run;
  ListOptions list;
  ExtractOptions extract;
  PackOptions pack;  // also for add
  DeleteOptions remove;
  TestOptions test;
  InfoOptions info;
  CatOptions cat;
  MountOptions mount;
  UnmountOptions unmount;
  DiffOptions diff;
};

// Parses the arguments into `invocation`. Returns -1 when the command is to
// run; otherwise the exit status to end with at once, after help, the
// version or a usage error has been printed.
int ParseCommandLine(int argc, char** argv, Invocation& invocation);

}  // namespace kzr::cli
