// The subcommands. Each returns the process's exit status: kExitOk only when
// everything asked for was done.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "console.h"
#include "plugin_loader.h"

namespace kzr::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

struct Context {
  const PluginApi& api;
  const Console& console;
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
};

struct PackOptions {
  std::string archive;
  std::string folder = ".";
  std::optional<std::string> prefix;
  std::vector<std::string> paths;
  bool overwrite = false;  // replace an existing file that is no KZR archive
};

int RunList(const Context& context, const ListOptions& options);
int RunExtract(const Context& context, const ExtractOptions& options);
int RunPack(const Context& context, const PackOptions& options);
int RunTest(const Context& context, const std::string& archive);
int RunInfo(const Context& context, const std::string& archive);

// "ARCHIVE: cause" for a listing that ended with `end_code` rather than 10.
std::string DescribeListingEnd(const std::string& archive, std::size_t entries, int end_code);

}  // namespace kzr::cli
