#include "plugin/name_converter.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>

#include "plugin/names_setting.h"

namespace kzr::host {

std::size_t Utf8CutPoint(const char* text, std::size_t length, std::size_t limit) noexcept {
  if (length <= limit) return length;
  std::size_t cut = limit;
  // A byte 10xxxxxx continues the character before it.
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return cut;
}

#if defined(_WIN32)

NameConverter::~NameConverter() = default;
Status NameConverter::Open() { return Status::kOk; }
Status NameConverter::Open(const std::string&) { return Status::kOk; }
void NameConverter::ToHost(std::string_view stored, std::string& out) { out.append(stored); }
bool NameConverter::ToStored(std::string_view host, std::string& out) {
  out.append(host);
  return true;
}

#else

namespace {

constexpr std::size_t kFailed = static_cast<std::size_t>(-1);

void Reset(iconv_t descriptor) noexcept { iconv(descriptor, nullptr, nullptr, nullptr, nullptr); }

// U+FFFD and the byte in hexadecimal.
void AppendUnconverted(unsigned char byte, std::string& out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out.append(kUnconvertedMark);
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

// The value of an upper-case hexadecimal digit, as AppendUnconverted writes
// them, or -1.
int HexDigit(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Converts `input` whole and appends the result. With `mark_bad_bytes`, a
// byte that starts no character is marked (AppendUnconverted) and the rest
// goes on; without, it fails the conversion, and so does a character that
// could only be approximated.
bool Convert(iconv_t descriptor, std::string_view input, std::string& out, bool mark_bad_bytes) {
  Reset(descriptor);
  char* in = const_cast<char*>(input.data());
  std::size_t in_left = input.size();
  char chunk[256];
  for (;;) {
    char* to = chunk;
    std::size_t to_left = sizeof chunk;
    const bool finishing = in_left == 0;
    // Once the input is used up, a stateful code page may still write the
    // bytes that return it to its initial state.
    const std::size_t result = finishing ? iconv(descriptor, nullptr, nullptr, &to, &to_left)
                                         : iconv(descriptor, &in, &in_left, &to, &to_left);
    const int error = errno;
    out.append(chunk, static_cast<std::size_t>(to - chunk));
    if (result != kFailed) {
      if (result != 0 && !mark_bad_bytes) return false;
      if (finishing) return true;
      continue;
    }
    if (error == E2BIG) continue;
    // EILSEQ, or EINVAL for a sequence cut short by the end of the name.
    if (!mark_bad_bytes || in_left == 0) return false;
    AppendUnconverted(static_cast<unsigned char>(*in), out);
    ++in;
    --in_left;
    Reset(descriptor);
  }
}

}  // namespace

NameConverter::~NameConverter() {
  if (to_host_ != kClosed) iconv_close(to_host_);
  if (to_stored_ != kClosed) iconv_close(to_stored_);
}

Status NameConverter::Open() { return Open(ChosenNamesCodePage()); }

Status NameConverter::Open(const std::string& code_page) {
  code_page_ = code_page;
  to_host_ = iconv_open("UTF-8", code_page.c_str());
  if (to_host_ == kClosed) return errno == ENOMEM ? Status::kNoMemory : Status::kUnknownCodePage;
  to_stored_ = iconv_open(code_page.c_str(), "UTF-8");
  if (to_stored_ == kClosed) return errno == ENOMEM ? Status::kNoMemory : Status::kUnknownCodePage;

  // Names of ASCII characters pass unconverted (KeepsAsIs), so the code page
  // must keep them as they are, both ways.
  char ascii[127];
  for (std::size_t i = 0; i < sizeof ascii; ++i) ascii[i] = static_cast<char>(i + 1);
  const std::string_view all(ascii, sizeof ascii);
  try {
    std::string there, back;
    if (!Convert(to_host_, all, there, false) || there != all ||
        !Convert(to_stored_, all, back, false) || back != all) {
      return Status::kUnknownCodePage;
    }
  } catch (const std::bad_alloc&) {
    return Status::kNoMemory;
  }
  return Status::kOk;
}

void NameConverter::ToHost(std::string_view stored, std::string& out) {
  Convert(to_host_, stored, out, true);
}

// The host's text between marks converts as it is; a mark (AppendUnconverted)
// stands for its byte. The result must list as the very text it came from:
// iconv maps some characters one way only (a code page's yen sign to `\`,
// two tildes to one byte), and such a name, stored, would be another name,
// or a path to another folder.
bool NameConverter::ToStored(std::string_view host, std::string& out) {
  const std::size_t start = out.size();
  std::size_t done = 0;
  for (std::size_t at = host.find(kUnconvertedMark); at != std::string_view::npos;
       at = host.find(kUnconvertedMark, at + 1)) {
    const std::size_t digits = at + kUnconvertedMark.size();
    const int high = digits + 2 <= host.size() ? HexDigit(host[digits]) : -1;
    const int low = high >= 0 ? HexDigit(host[digits + 1]) : -1;
    if (low < 0) continue;
    if (!Convert(to_stored_, host.substr(done, at - done), out, false)) return false;
    out += static_cast<char>(high << 4 | low);
    done = digits + 2;
  }
  if (!Convert(to_stored_, host.substr(done), out, false)) return false;
  std::string listed;
  ToHost(std::string_view(out).substr(start), listed);
  return listed == host;
}

#endif

}  // namespace kzr::host
