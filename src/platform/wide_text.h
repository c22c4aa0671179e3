// UTF-8, the library's text, and UTF-16, the Windows system's (Windows only).
#pragma once

#include <string>
#include <string_view>

namespace kzr {

// A byte that starts no UTF-8 character becomes U+FFFD; throws
// std::bad_alloc only.
std::wstring WideFromUtf8(std::string_view text);
// An unpaired surrogate becomes U+FFFD.
std::string Utf8FromWide(std::wstring_view text);
// Text in the system's ANSI code page as UTF-8, as the system's 8-bit
// calls take it.
std::string Utf8FromAnsi(std::string_view text);

// The path in UTF-16 with separators as `\`.
std::wstring WidePath(std::string_view path);
// The absolute form of `path`, as the system makes it; empty when it fails.
std::wstring FullPath(const std::wstring& path);

// A path for the system's wide calls: separators as `\`, and, where the
// path is longer than the short form takes (259 characters), made absolute
// in the long form ("\\?\C:\...", "\\?\UNC\server\share\...").
std::wstring SystemPath(const std::string& path);

}  // namespace kzr
