// The plugin the contract tests drive, through the hosts' one export table:
// the exports linked into the test program, or, when the build names a plugin
// binary (KZR_PLUGIN_FILE), that binary loaded as a file manager loads it
// (the KZR_PLUGIN environment variable may name another). The contract tests
// are written once and run both ways.
#pragma once

#include "support/plugin_api.h"

namespace kzr::test {

using host::PluginApi;

// The table; exits the process if the plugin cannot be loaded at all.
const PluginApi& Plugin();

// The loaded plugin binary, or null when the exports are linked in.
const host::PluginModule* LoadedPlugin();

}  // namespace kzr::test

// Skips a test of exports that the plugin under test does not make visible
// (the Linux plugin keeps to the ANSI ones, which its host calls).
#define KZR_NEEDS_EXPORT(name)                                                        \
  if (::kzr::test::Plugin().name == nullptr) GTEST_SKIP() << "no " #name " in this plugin"
