// kzr cat: members written to stdout byte for byte, in the order the names
// are given (the entries a pattern selects in listing order), streamed from
// the archive.
#include <cstdio>

#include "archive_view.h"
#include "commands.h"
#include "messages.h"
#include "name_pattern.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace kzr::cli {
namespace {

class StdoutSink final : public MemberSink {
 public:
  Status Write(const std::uint8_t* bytes, std::size_t size) noexcept override {
    return std::fwrite(bytes, 1, size, stdout) == size ? Status::kOk : Status::kWriteFailed;
  }
};

}  // namespace

int RunCat(const Context& context, const CatOptions& options) {
  const Console& console = context.console;
  const std::string& path = options.archive;
  console.Flush();
#if defined(_WIN32)
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  ArchiveView archive;
  if (!archive.Open(context, path)) return kExitFailure;

  bool all_done = true;
  StdoutSink sink;
  MemberBuffers buffers;
  for (const std::string& pattern : options.names) {
    bool found = false;
    for (const Entry& entry : archive.entries()) {
      if (!PatternSelects(pattern, entry.name)) continue;
      found = true;
      const Status status = archive.reader().ReadMember(entry.view, &sink, buffers);
      if (status == Status::kWriteFailed || std::ferror(stdout)) {
        console.NoteWriteFailed();  // reported at the end
        return kExitFailure;
      }
      if (!status.ok()) {
        console.Error(path + ": " + Printable(Shown(entry.name)) + ": " + Describe(status));
        all_done = false;
      }
    }
    if (!found) {
      console.Error(path + ": no entry matches " + pattern);
      all_done = false;
    }
  }
  if (std::fflush(stdout) != 0) {
    console.NoteWriteFailed();
    return kExitFailure;
  }
  if (archive.damaged()) {
    console.Error(DamageMessage(path, archive.entries().size()));
    return kExitFailure;
  }
  return all_done ? kExitOk : kExitFailure;
}

}  // namespace kzr::cli
