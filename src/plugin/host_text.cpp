#include "plugin/host_text.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "archive/entry_names.h"
#include "archive/names_setting.h"
#include "base/utf8.h"

#if defined(_WIN32)
#include "platform/wide_text.h"
#endif

namespace kzr::host {
namespace {

constexpr bool kAnsiIsStored =
#if defined(_WIN32)
    true;
#else
    false;
#endif

void ToSeparator(std::string& text, char separator) {
  if (separator == '\\') return;
  for (char& c : text) {
    if (c == '\\') c = separator;
  }
}

}  // namespace

Status HostText::Open(Face face) noexcept {
  face_ = face;
  if (face == Face::kAnsi && kAnsiIsStored) return CodePage::Open("ANSI", names_);
  return OpenChosenCodePage(names_);
}

std::string HostText::Path(const char* host) const {
  if (host == nullptr) return {};
#if defined(_WIN32)
  return Utf8FromAnsi(host);
#else
  return host;
#endif
}

std::string HostText::Path(const WideChar* host) const {
  std::string path;
  if (host != nullptr) {
    std::u16string_view text(host);
    if (!utf8::FromUtf16(text, path)) path.clear();
  }
  return path;
}

std::string HostText::Name(std::string_view host) {
  if (!kAnsiIsStored) return std::string(host);
  std::string text;
  names_->ToText(host, text);
  return text;
}

std::string HostText::Name(std::u16string_view host) const {
  std::string text;
  if (!utf8::FromUtf16(host, text)) text.clear();
  return text;
}

std::string HostText::ShownAnsi(std::string_view text) {
  std::string shown;
  if (!kAnsiIsStored) {
    shown.assign(text);
  } else if (face_ != Face::kAnsi || !names_->ToStored(text, shown)) {
    // (The ANSI face's text came from these very bytes, and converts back
    // to them.) A wide handle asked for an ANSI name: its ASCII characters.
    shown.clear();
    for (const char c : text) shown += static_cast<unsigned char>(c) < 0x80 ? c : '?';
  }
  ToSeparator(shown, kAnsiSeparator);
  return shown;
}

std::u16string HostText::ShownWide(std::string_view text) const { return utf8::ToUtf16(text); }

std::size_t HostText::Cut(std::string_view shown, std::size_t limit) const noexcept {
  if (kAnsiIsStored) return names_->WholeCharacters(shown, limit);
  return utf8::CutPoint(shown, limit);
}

void HostText::Fill(std::string_view text, char* field, std::size_t size) {
  const std::string shown = ShownAnsi(text);
  const std::size_t length = Cut(shown, size - 1);
  std::memcpy(field, shown.data(), length);
  std::memset(field + length, 0, size - length);
}

bool HostText::FillPlain(std::string_view stored, char* field, std::size_t size) const noexcept {
  if (!CopyPlainName(stored, field, size - 1, kAnsiSeparator)) return false;
  const std::size_t length = std::min(stored.size(), size - 1);
  std::memset(field + length, 0, size - length);
  return true;
}

bool HostText::FillPlain(std::string_view stored, WideChar* field, std::size_t size) const noexcept {
  if (!CodePage::IsAscii(stored) || !IsCleanName(stored)) return false;
  const std::size_t length = std::min(stored.size(), size - 1);
  std::copy_n(stored.data(), length, field);
  std::fill(field + length, field + size, u'\0');
  return true;
}

void HostText::Fill(std::string_view text, WideChar* field, std::size_t size) const {
  const std::u16string shown = ShownWide(text);
  const std::size_t length = utf8::Utf16CutPoint(shown, size - 1);
  std::copy_n(shown.data(), length, field);
  std::fill(field + length, field + size, u'\0');
}

}  // namespace kzr::host
