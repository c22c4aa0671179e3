// Code pages through the system's conversions. A byte, or a two-byte
// character, counts as a character of the code page only when it converts
// and converts back to itself: what the system maps only by a best fit, to
// a control character of the C1 range (the ANSI code pages' undefined
// bytes) or to a private character is marked, as iconv leaves it undefined.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <array>
#include <cctype>
#include <new>

#include "base/utf8.h"
#include "platform/code_page.h"
#include "platform/wide_text.h"

namespace kzr {
namespace {

constexpr UINT kUtf8 = 65001;

std::string Upper(std::string_view text) {
  std::string upper;
  for (const char c : text) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

// The code page number a name stands for, or 0.
UINT CodePageNumber(std::string_view name) {
  std::string upper = Upper(name);
  if (upper == "ANSI" || upper == "ACP") return GetACP();
  if (upper == "OEM" || upper == "OEMCP") return GetOEMCP();
  if (upper == "UTF-8" || upper == "UTF8") return kUtf8;
  struct Alias {
    const char* name;
    UINT number;
  };
  static constexpr Alias kAliases[] = {
      {"LATIN1", 28591},     {"ISO-8859-1", 28591}, {"ISO-8859-2", 28592},
      {"ISO-8859-5", 28595}, {"ISO-8859-7", 28597}, {"KOI8-R", 20866},
      {"SHIFT_JIS", 932},    {"SJIS", 932},         {"GBK", 936},
      {"EUC-KR", 949},       {"BIG5", 950},
  };
  for (const Alias& alias : kAliases) {
    if (upper == alias.name) return alias.number;
  }
  for (const std::string_view prefix : {"WINDOWS-", "CP", "IBM", "MS"}) {
    if (upper.starts_with(prefix)) {
      upper.erase(0, prefix.size());
      break;
    }
  }
  if (upper.empty() || upper.size() > 5) return 0;
  UINT number = 0;
  for (const char c : upper) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + static_cast<UINT>(c - '0');
  }
  return number;
}

bool IsAnsiCodePage(UINT number) { return number == 874 || (number >= 1250 && number <= 1258); }

class SystemCodePage final : public CodePage {
 public:
  SystemCodePage(std::string name, UINT number) : CodePage(std::move(name)), number_(number) {}

  Status Open() {
    CPINFO info;
    if (!IsValidCodePage(number_) || !GetCPInfo(number_, &info)) return Status::kUnknownCodePage;
    if (number_ != kUtf8) {
      for (std::size_t range = 0; range + 1 < MAX_LEADBYTES && info.LeadByte[range] != 0;
           range += 2) {
        for (unsigned byte = info.LeadByte[range]; byte <= info.LeadByte[range + 1]; ++byte) {
          is_lead_[byte] = true;
        }
      }
      for (unsigned byte = 0; byte < 256; ++byte) {
        if (is_lead_[byte]) continue;
        const char single = static_cast<char>(byte);
        single_[byte] = Character(std::string_view(&single, 1));
      }
    }
    return KeepsAscii() ? Status::kOk : Status::kUnknownCodePage;
  }

 private:
  // The text of one character of the code page, or nothing when it is none.
  std::wstring Character(std::string_view bytes) const {
    wchar_t wide[4];
    const int length = MultiByteToWideChar(number_, MB_ERR_INVALID_CHARS, bytes.data(),
                                           static_cast<int>(bytes.size()), wide, 4);
    if (length <= 0) return {};
    const std::wstring text(wide, static_cast<std::size_t>(length));
    if (length == 1 && static_cast<unsigned char>(bytes[0]) >= 0x80) {
      const wchar_t c = text[0];
      if ((c >= 0x80 && c <= 0x9F && IsAnsiCodePage(number_)) || (c >= 0xE000 && c <= 0xF8FF)) {
        return {};
      }
    }
    char back[8];
    BOOL defaulted = FALSE;
    const int back_length = WideCharToMultiByte(number_, WC_NO_BEST_FIT_CHARS, text.data(), length,
                                                back, sizeof back, nullptr, &defaulted);
    if (defaulted || back_length != static_cast<int>(bytes.size()) ||
        std::string_view(back, bytes.size()) != bytes) {
      return {};
    }
    return text;
  }

  void Decode(std::string_view stored, std::string& out) override {
    if (number_ == kUtf8) {
      for (std::size_t at = 0, length = 0; at < stored.size(); at += length) {
        const char32_t c = utf8::Decode(stored, at, length);
        if (c >= 0xDC80 && c <= 0xDCFF && length == 1) {
          AppendUnconverted(static_cast<unsigned char>(stored[at]), out);
        } else {
          out.append(stored.substr(at, length));
        }
      }
      return;
    }
    std::wstring run;
    const auto flush = [&] {
      out += Utf8FromWide(run);
      run.clear();
    };
    for (std::size_t at = 0; at < stored.size();) {
      const auto byte = static_cast<unsigned char>(stored[at]);
      if (byte < 0x80) {
        run += static_cast<wchar_t>(byte);
        ++at;
        continue;
      }
      if (is_lead_[byte] && at + 1 < stored.size()) {
        const std::wstring text = Character(stored.substr(at, 2));
        if (!text.empty()) {
          run += text;
          at += 2;
          continue;
        }
      } else if (!is_lead_[byte] && !single_[byte].empty()) {
        run += single_[byte];
        ++at;
        continue;
      }
      flush();
      AppendUnconverted(byte, out);
      ++at;
    }
    flush();
  }

  bool Encode(std::string_view text, std::string& out) override {
    if (text.empty()) return true;
    if (number_ == kUtf8) {
      out.append(text);
      return utf8::IsValid(text);
    }
    if (!utf8::IsValid(text)) return false;
    const std::wstring wide = WideFromUtf8(text);
    BOOL defaulted = FALSE;
    const int size = static_cast<int>(wide.size());
    const int length = WideCharToMultiByte(number_, WC_NO_BEST_FIT_CHARS, wide.data(), size,
                                           nullptr, 0, nullptr, &defaulted);
    if (length <= 0 || defaulted) return false;
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(length));
    WideCharToMultiByte(number_, WC_NO_BEST_FIT_CHARS, wide.data(), size, out.data() + start,
                        length, nullptr, &defaulted);
    return !defaulted;
  }

  std::size_t WholeCharacters(std::string_view stored, std::size_t limit) const noexcept override {
    if (stored.size() <= limit) return stored.size();
    std::size_t cut = 0;
    for (;;) {
      const bool lead = is_lead_[static_cast<unsigned char>(stored[cut])] && cut + 1 < stored.size();
      const std::size_t next = cut + (lead ? 2 : 1);
      if (next > limit) return cut;
      cut = next;
    }
  }

  UINT number_;
  std::array<bool, 256> is_lead_{};
  std::array<std::wstring, 256> single_{};  // the text of each single byte
};

}  // namespace

Status CodePage::Open(std::string_view name, std::unique_ptr<CodePage>& code_page) noexcept {
  code_page.reset();
  try {
    const UINT number = CodePageNumber(name);
    if (number == 0) return Status::kUnknownCodePage;
    auto opened = std::make_unique<SystemCodePage>(std::string(name), number);
    if (Status status = opened->Open(); !status.ok()) return status;
    code_page = std::move(opened);
    return Status::kOk;
  } catch (const std::bad_alloc&) {
    return Status::kNoMemory;
  }
}

}  // namespace kzr
