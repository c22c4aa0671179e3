// The subcommands. Each returns the process's exit status: kExitOk only when
// everything asked for was done.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "console.h"
#include "plugin_api.h"

namespace kzr::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

struct Context {
  const host::PluginApi& api;
  const Console& console;
  unsigned jobs = 1;  // handles that extract and test work on at once
};

struct ListOptions {
  std::string archive;
  bool json = false;
};

struct ExtractOptions {
  std::string archive;
  std::string folder = ".";
  std::vector<std::string> patterns;  // none: every entry
  bool overwrite = false;
  bool skip_existing = false;
};

struct PackOptions {
  std::string archive;
  std::string folder = ".";
  std::optional<std::string> prefix;
  std::vector<std::string> paths;
  bool overwrite = false;  // replace an existing file that is no KZR archive
  bool add = false;        // add to ARCHIVE (made when missing) instead of a new one
};

struct DeleteOptions {
  std::string archive;
  std::vector<std::string> patterns;
};

int RunList(const Context& context, const ListOptions& options);
int RunExtract(const Context& context, const ExtractOptions& options);
int RunPack(const Context& context, const PackOptions& options);
int RunDelete(const Context& context, const DeleteOptions& options);
int RunTest(const Context& context, const std::string& archive);
int RunInfo(const Context& context, const std::string& archive);

}  // namespace kzr::cli
