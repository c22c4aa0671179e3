// The host's name field along each path this build and processor have.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "plugin/host_names.h"
#include "plugin/name_field.h"

namespace kzr {
namespace {

struct FillPath {
  const char* name;
  bool (*fill)(char*, const char*, std::size_t, std::size_t, bool) noexcept;
};

std::vector<FillPath> FillPaths() {
  std::vector<FillPath> paths = {{"scalar", FillNameFieldScalar}};
#if KZR_AVX2_PATHS
  if (cpu::HasAvx2()) paths.push_back({"avx2", FillNameFieldAvx2});
#endif
  return paths;
}

// Names of every length up to past the field's 259 bytes, made of
// `alphabet`, each from a source of exactly the readable bytes (the name,
// and for some of them more bytes, a NUL first or not), so that
// AddressSanitizer sees any byte read outside it. A clean name fills the
// field with the name cut to 259 bytes, separators as the host writes them,
// and NUL after it; every byte of the field is written, and no byte around
// it. Whether a name is clean is exactly what the component-wise test says.
void CheckEveryLength(const std::string& alphabet, std::uint32_t seed) {
  std::mt19937 random(seed);
  constexpr std::size_t kGuard = 64;
  for (const FillPath& path : FillPaths()) {
    for (std::size_t length = 0; length <= 300; ++length) {
      for (std::size_t after : {0u, 1u, 2u, 23u, 24u, 63u, 64u, 65u, 200u}) {
        // (Never null, even when empty, like a name in a directory.)
        const std::size_t readable = length + after;
        std::unique_ptr<char[]> source(new char[readable]);
        for (std::size_t i = 0; i < readable; ++i) {
          source[i] = alphabet[random() % alphabet.size()];
        }
        if (after % 2 == 1) source[length] = '\0';  // as in a directory; not needed
        std::vector<char> area(kGuard + kNameFieldSize + kGuard, '\xAB');
        char* const field = area.data() + kGuard;
        // Asked for ASCII only, a name with any other byte is refused too.
        const bool ascii_only = random() % 2 == 1;
        const bool ascii = std::all_of(source.get(), source.get() + length,
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        const bool clean = path.fill(field, source.get(), length, readable, ascii_only);
        ASSERT_EQ(clean, host::IsCleanName(source.get(), length) && (ascii || !ascii_only))
            << path.name << (ascii_only ? " (ASCII only): " : ": ")
            << std::string(source.get(), length);
        ASSERT_TRUE(std::all_of(area.begin(), area.begin() + kGuard,
                                [](char c) { return c == '\xAB'; }));
        ASSERT_TRUE(std::all_of(area.end() - kGuard, area.end(),
                                [](char c) { return c == '\xAB'; }));
        if (!clean) continue;
        std::string want(source.get(), std::min(length, kNameFieldSize - 1));
        std::replace(want.begin(), want.end(), host::kStoredSeparator, host::kHostSeparator);
        want.resize(kNameFieldSize, '\0');
        ASSERT_EQ(std::string(field, kNameFieldSize), want)
            << path.name << ", length " << length << ", " << after << " more readable";
      }
    }
  }
}

TEST(NameField, EveryPathFillsTheWholeFieldAndNothingElse) {
  std::string bytes;
  for (int c = 1; c < 256; ++c) {
    if (c != '\\' && c != '/' && c != '.') bytes += static_cast<char>(c);
  }
  CheckEveryLength(bytes, 31337);
}

TEST(NameField, EveryPathTellsCleanNamesAndConvertsTheirSeparators) {
  // Dense in separators and dots, so that every way a component can be
  // empty, "." or ".." turns up, at every place in the window and past it.
  CheckEveryLength("ab\\\\/.:", 4242);
}

}  // namespace
}  // namespace kzr
