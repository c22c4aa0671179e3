// How each face of the plugin speaks with its host, and the library's text
// (UTF-8, `\` between folders) behind it.
//
//   ANSI face, Linux      UTF-8, `/` between folders (as Double Commander
//                         passes it); stored names in the chosen code page
//   ANSI face, Windows    the ANSI code page, `\`: the host's bytes are the
//                         stored bytes, as they always were
//   wide face             UTF-16, `\`; stored names in the chosen code page
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "base/status.h"
#include "plugin/host_interface.h"
#include "platform/code_page.h"

namespace kzr::host {

enum class Face { kAnsi, kWide };

#if defined(_WIN32)
inline constexpr char kAnsiSeparator = '\\';
#else
inline constexpr char kAnsiSeparator = '/';
#endif

class HostText {
 public:
  // Opens the code page of stored names for the face. kUnknownCodePage,
  // kNoMemory.
  Status Open(Face face) noexcept;
  CodePage& names() noexcept { return *names_; }

  // A path from the host, for the platform layer.
  std::string Path(const char* host) const;
  std::string Path(const WideChar* host) const;
  // A name from the host (a list item, a sub-path) as text.
  std::string Name(std::string_view host);
  std::string Name(std::u16string_view host) const;

  // A name as the host shows it: separators the host's, in its text.
  std::string ShownAnsi(std::string_view text);
  std::u16string ShownWide(std::string_view text) const;

  // Fills a name field of `size` characters: the name, cut to size - 1
  // between two characters, then NULs to the field's end.
  void Fill(std::string_view text, char* field, std::size_t size);
  void Fill(std::string_view text, WideChar* field, std::size_t size) const;
  // The same for stored bytes that are their own reported name (ASCII,
  // clean), in one pass; false, with the field in no particular state, for
  // any other name.
  bool FillPlain(std::string_view stored, char* field, std::size_t size) const noexcept;
  bool FillPlain(std::string_view stored, WideChar* field, std::size_t size) const noexcept;

  // The length of the longest start of a shown name that fits `limit`
  // characters and ends between two of them.
  std::size_t Cut(std::string_view shown, std::size_t limit) const noexcept;

 private:
  Face face_ = Face::kAnsi;
  std::unique_ptr<CodePage> names_;
};

}  // namespace kzr::host
