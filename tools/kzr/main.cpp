// kzr: lists, tests, extracts and creates KZR archives, a client of the
// library (src/archive).
#include <optional>
#include <string>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "console.h"
#include "interruption.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "platform/wide_text.h"

// The C runtime's own split of the command line in UTF-16, by the rules
// that give plain main() its arguments (msvcrt.dll).
namespace {
struct StartupInfo {
  int new_mode;
};
}  // namespace
extern "C" int __cdecl __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** environment,
                                      int expand_wildcards, StartupInfo* startup);
#endif

namespace {

// The arguments in UTF-8: on Windows taken in UTF-16 from the system, where
// main() would get them in the ANSI code page, any other character replaced.
std::vector<std::string> Arguments(int argc, char** argv) {
#if defined(_WIN32)
  int count = 0;
  wchar_t** wide = nullptr;
  wchar_t** environment = nullptr;
  StartupInfo startup{0};
  if (__wgetmainargs(&count, &wide, &environment, 0, &startup) != 0 || count != argc ||
      wide == nullptr) {
    return std::vector<std::string>(argv, argv + argc);
  }
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(kzr::Utf8FromWide(wide[i]));
  return arguments;
#else
  return std::vector<std::string>(argv, argv + argc);
#endif
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kzr::cli;
  HandleInterruptions();
  std::vector<std::string> arguments = Arguments(argc, argv);
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  Invocation invocation;
  if (const int status =
          ParseCommandLine(static_cast<int>(pointers.size()), pointers.data(), invocation);
      status >= 0) {
    return status;
  }

  const Console console(invocation.quiet, invocation.verbose);
  const Context context{console, invocation.jobs, invocation.names};
  const int status = invocation.run(context);
  // Results that did not all reach stdout make the command a failure.
  const std::optional<std::string> failure = console.OutputFailure();
  if (!failure) return status;
  EndIfOutputPipeClosed();
#if defined(_WIN32)
  // Windows has no such signal: the command ends as quietly, as a failure.
  if (console.OutputPipeClosed()) return kExitFailure;
#endif
  console.Error("standard output: write error" + (failure->empty() ? "" : ": " + *failure));
  return kExitFailure;
}
