// The subcommands. Each returns the process's exit status: kExitOk only when
// everything asked for was done.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/status.h"
#include "console.h"
#include "platform/code_page.h"

namespace kzr::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

struct Context {
  const Console& console;
  unsigned jobs = 1;      // threads that extract and test at once
  std::string code_page;  // of stored names; empty: KZR_NAMES, else the default

  // The code page of stored names; on failure, said to the user.
  std::unique_ptr<CodePage> OpenNames() const;
};

// Which entries: the patterns (none: every entry) less the excluded ones.
struct Choice {
  std::vector<std::string> patterns;
  std::vector<std::string> excludes;
};

// Words read from a file (-T FILE, "-" for standard input), one a line, or
// ended by NUL bytes with --null.
struct WordList {
  std::string file;
  bool null = false;
};

struct ListOptions {
  std::string archive;
  Choice choice;
  bool json = false;
  bool human = false;       // sizes in KiB, MiB, ...
  bool names_only = false;  // one name a line, nothing else
};

struct ExtractOptions {
  std::string archive;
  Choice choice;
  std::string folder = ".";
  bool overwrite = false;
  bool skip_existing = false;
};

struct PackOptions {
  std::string archive;  // "-": standard output
  std::string folder = ".";
  std::optional<std::string> prefix;
  std::vector<std::string> paths;
  std::vector<std::string> excludes;  // patterns of stored names to leave out
  bool overwrite = false;  // replace an existing file that is no KZR archive
  bool add = false;        // add to ARCHIVE (made when missing) instead of a new one
};

struct DeleteOptions {
  std::string archive;
  Choice choice;
};

struct TestOptions {
  std::string archive;
  Choice choice;
  bool json = false;
};

struct InfoOptions {
  std::string archive;
  bool json = false;
  bool human = false;
};

struct CatOptions {
  std::string archive;
  std::vector<std::string> names;  // patterns; members go out in this order
};

int RunList(const Context& context, const ListOptions& options);
int RunExtract(const Context& context, const ExtractOptions& options);
int RunPack(const Context& context, const PackOptions& options);
int RunDelete(const Context& context, const DeleteOptions& options);
int RunTest(const Context& context, const TestOptions& options);
int RunInfo(const Context& context, const InfoOptions& options);
int RunCat(const Context& context, const CatOptions& options);

struct DiffOptions {
  std::string archive;
  std::string other;
  bool json = false;
};

int RunDiff(const Context& context, const DiffOptions& options);

// kzr mount works on Linux, when libfuse3 was there to build it with.
struct MountOptions {
  std::string archive;
  std::string folder;
  bool foreground = false;
  std::size_t cache_mib = 4;  // decoded bytes kept for each open compressed file
};

struct UnmountOptions {
  std::string folder;
  bool lazy = false;  // detach now, end when the last file in it is closed
};

int RunMount(const Context& context, const MountOptions& options);
int RunUnmount(const Context& context, const UnmountOptions& options);

}  // namespace kzr::cli
