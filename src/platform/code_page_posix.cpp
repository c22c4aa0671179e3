// Code pages through the C library's iconv.
#include <iconv.h>

#include <cerrno>
#include <new>

#include "platform/code_page.h"

namespace kzr {
namespace {

const iconv_t kClosed = reinterpret_cast<iconv_t>(-1);
constexpr std::size_t kFailed = static_cast<std::size_t>(-1);

void Reset(iconv_t descriptor) noexcept { iconv(descriptor, nullptr, nullptr, nullptr, nullptr); }

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

class IconvCodePage final : public CodePage {
 public:
  explicit IconvCodePage(std::string name) : CodePage(std::move(name)) {}
  ~IconvCodePage() override {
    if (to_text_ != kClosed) iconv_close(to_text_);
    if (to_stored_ != kClosed) iconv_close(to_stored_);
  }

  Status Open() {
    to_text_ = iconv_open("UTF-8", name().c_str());
    if (to_text_ == kClosed) return errno == ENOMEM ? Status::kNoMemory : Status::kUnknownCodePage;
    to_stored_ = iconv_open(name().c_str(), "UTF-8");
    if (to_stored_ == kClosed) {
      return errno == ENOMEM ? Status::kNoMemory : Status::kUnknownCodePage;
    }
    return KeepsAscii() ? Status::kOk : Status::kUnknownCodePage;
  }

 private:
  void Decode(std::string_view stored, std::string& out) override {
    Convert(to_text_, stored, out, true);
  }
  bool Encode(std::string_view text, std::string& out) override {
    return Convert(to_stored_, text, out, false);
  }

  iconv_t to_text_ = kClosed;
  iconv_t to_stored_ = kClosed;
};

}  // namespace

Status CodePage::Open(std::string_view name, std::unique_ptr<CodePage>& code_page) noexcept {
  code_page.reset();
  try {
    auto opened = std::make_unique<IconvCodePage>(std::string(name));
    if (Status status = opened->Open(); !status.ok()) return status;
    code_page = std::move(opened);
    return Status::kOk;
  } catch (const std::bad_alloc&) {
    return Status::kNoMemory;
  }
}

}  // namespace kzr
