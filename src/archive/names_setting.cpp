#include "archive/names_setting.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <mutex>

#include "platform/code_page.h"
#include "platform/files.h"

namespace kzr {
namespace {

// More than any INI file of a host; the rest is not read.
constexpr std::size_t kLargestIniFile = std::size_t{1} << 20;

std::mutex g_ini_mutex;
std::string g_ini_file;  // guarded by g_ini_mutex

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::optional<std::string> ReadSmallFile(const std::string& path) {
  InputFile file;
  if (!file.Open(path).ok()) return std::nullopt;
  std::string text(static_cast<std::size_t>(std::min<std::uint64_t>(file.length(), kLargestIniFile)),
                   '\0');
  if (!file.ReadAt(0, text.data(), text.size()).ok()) return std::nullopt;
  return text;
}

}  // namespace

void RememberIniFile(std::string_view path) {
  const std::lock_guard lock(g_ini_mutex);
  g_ini_file.assign(path);
}

std::string ChosenNamesCodePage() {
  if (const char* chosen = std::getenv(kNamesVariable); chosen != nullptr && *chosen != '\0') {
    return chosen;
  }
  std::string ini_file;
  {
    const std::lock_guard lock(g_ini_mutex);
    ini_file = g_ini_file;
  }
  if (!ini_file.empty()) {
    if (const std::optional<std::string> text = ReadSmallFile(ini_file)) {
      std::optional<std::string> value = IniValue(*text, kNamesIniSection, kNamesIniKey);
      if (value && !value->empty()) return std::move(*value);
    }
  }
  return kDefaultNamesCodePage;
}

Status OpenChosenCodePage(std::unique_ptr<CodePage>& code_page) noexcept {
  try {
    return CodePage::Open(ChosenNamesCodePage(), code_page);
  } catch (const std::bad_alloc&) {
    return Status::kNoMemory;
  }
}

std::optional<std::string> IniValue(std::string_view text, std::string_view section,
                                    std::string_view key) {
  bool inside = false;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = Trimmed(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      inside = close != std::string_view::npos &&
               SameIgnoringAsciiCase(Trimmed(line.substr(1, close - 1)), section);
      continue;
    }
    const std::size_t equals = line.find('=');
    if (inside && equals != std::string_view::npos &&
        SameIgnoringAsciiCase(Trimmed(line.substr(0, equals)), key)) {
      return std::string(Trimmed(line.substr(equals + 1)));
    }
  }
  return std::nullopt;
}

}  // namespace kzr
