#include "ansi_text.h"

#include <cstdio>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// The C runtime's own split of the command line into UTF-16 arguments, by
// the rules that give plain main() its arguments (msvcrt.dll).
namespace {
struct StartupInfo {
  int new_mode;
};
}  // namespace
extern "C" int __cdecl __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** environment,
                                      int expand_wildcards, StartupInfo* startup);
#endif

namespace kzr::cli {

#if defined(_WIN32)

namespace {

// The ANSI form of `text` (its length when `to` is null), or -1 when a
// character does not fit.
int ToAnsi(std::wstring_view text, char* to, int room) {
  if (text.empty()) return 0;
  // With UTF-8 as the ANSI code page every character fits, and the flags
  // and default-character report of the 8-bit code pages are refused.
  const bool utf8 = GetACP() == CP_UTF8;
  BOOL used_default = FALSE;
  const int size =
      WideCharToMultiByte(CP_ACP, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS, text.data(),
                          static_cast<int>(text.size()), to, room, nullptr,
                          utf8 ? nullptr : &used_default);
  return size == 0 || used_default ? -1 : size;
}

std::string CodePoint(std::wstring_view character) {
  unsigned value = character[0];
  if (character.size() == 2) value = 0x10000 + ((value - 0xD800) << 10) + (character[1] - 0xDC00);
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", value);
  return text;
}

}  // namespace

std::wstring WideFromAnsi(std::string_view text) {
  if (text.empty()) return {};
  const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

std::optional<std::string> AnsiFromWide(std::wstring_view text, std::string* unfit) {
  const int size = ToAnsi(text, nullptr, 0);
  if (size >= 0) {
    std::string ansi(static_cast<std::size_t>(size), '\0');
    ToAnsi(text, ansi.data(), size);
    return ansi;
  }
  if (unfit != nullptr) {
    *unfit = "a character";
    for (std::size_t i = 0; i < text.size();) {
      const bool pair = text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < text.size() &&
                        text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
      const std::wstring_view character = text.substr(i, pair ? 2 : 1);
      if (ToAnsi(character, nullptr, 0) < 0) {
        *unfit = CodePoint(character);
        break;
      }
      i += character.size();
    }
  }
  return std::nullopt;
}

std::string ShownAnsi(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string shown(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), shown.data(), size,
                      nullptr, nullptr);
  return shown;
}

std::string UnfitReason(const std::string& unfit) {
  return unfit + " has no place in the ANSI code page (" + std::to_string(GetACP()) + ")";
}

CommandLineArguments::CommandLineArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = nullptr;
  wchar_t** environment = nullptr;
  StartupInfo startup{0};
  const bool split = __wgetmainargs(&count, &wide, &environment, 0, &startup) == 0 &&
                     count == argc && wide != nullptr;
  for (int i = 0; i < argc; ++i) {
    // The program's own path is not the tool's business.
    if (!split || i == 0) {
      arguments_.emplace_back(argv[i]);
      continue;
    }
    std::string unfit;
    std::optional<std::string> ansi = AnsiFromWide(wide[i], &unfit);
    if (!ansi) {
      std::fprintf(stderr, "kzr: argument %d, \"%s\": %s, in which the plugin takes names\n", i,
                   ShownAnsi(wide[i]).c_str(), UnfitReason(unfit).c_str());
      ok_ = false;
      ansi = ShownAnsi(wide[i]);
    }
    arguments_.push_back(std::move(*ansi));
  }
  for (std::string& argument : arguments_) pointers_.push_back(argument.data());
}

#else

CommandLineArguments::CommandLineArguments(int argc, char** argv) {
  for (int i = 0; i < argc; ++i) arguments_.emplace_back(argv[i]);
  for (std::string& argument : arguments_) pointers_.push_back(argument.data());
}

#endif

}  // namespace kzr::cli
