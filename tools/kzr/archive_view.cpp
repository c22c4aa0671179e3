#include "archive_view.h"

#include <cstdio>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "archive/entry_names.h"
#include "archive/names_setting.h"
#include "messages.h"
#include "platform/files.h"
#include "quantities.h"

namespace kzr::cli {
namespace {

// Copies standard input into a new temporary file, `path`.
Status SpoolStandardInput(std::string& path) {
#if defined(_WIN32)
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  OutputFile output;
  // Under a name of this process's own, which no other kzr takes.
  const std::string target =
      TemporaryPathFor(WithTrailingSeparator(TemporaryFolder()) + "kzr-stdin", "archive");
  if (Status status = output.Create(target, false); !status.ok()) return status;
  std::vector<char> chunk(std::size_t{1} << 20);
  for (std::size_t got; (got = std::fread(chunk.data(), 1, chunk.size(), stdin)) != 0;) {
    if (Status status = output.Write(chunk.data(), got); !status.ok()) return status;
  }
  if (std::ferror(stdin)) return Status::kReadFailed;
  Placing placing;
  placing.replace = false;
  if (Status status = output.Commit(placing); !status.ok()) return status;
  path = target;
  return Status::kOk;
}

// Why a file is no archive that can be opened, from what its header says.
std::string Refusal(const HeaderFindings& found) {
  const std::string lengths = "the header says " + std::to_string(found.recorded_length) +
                              " bytes, the file has " + std::to_string(found.file_length);
  switch (found.check) {
    case HeaderCheck::kShortHeader:
      if (found.file_length == 0) return "the file is empty, not an archive";
      return found.signature ? "damaged: shorter than an archive's header (truncated?)"
                             : "not a KZR archive";
    case HeaderCheck::kBadMagic:
      return "not a KZR archive";
    case HeaderCheck::kBadVersionTag:
      return found.signature ? "a KZR archive of an unknown kind (flavour " +
                                   std::to_string(found.flavour) + ")"
                             : "not a KZR archive";
    case HeaderCheck::kLengthMismatch:
      return "damaged: " + lengths +
             (found.file_length < found.recorded_length ? " (truncated?)" : "");
    case HeaderCheck::kTooLong:
      return "longer than an archive may be (2 GiB)";
    case HeaderCheck::kDirectoryMismatch:
      return "damaged: the directory does not end where the file does";
    case HeaderCheck::kAccepted:
      break;
  }
  return "not a KZR archive";
}

}  // namespace

std::unique_ptr<CodePage> Context::OpenNames() const {
  std::unique_ptr<CodePage> names;
  const std::string name = code_page.empty() ? ChosenNamesCodePage() : code_page;
  if (Status status = CodePage::Open(name, names); !status.ok()) {
    console.Error(status == Status::kUnknownCodePage
                      ? "unknown code page " + name + " for names (`iconv -l` lists them)"
                      : Describe(status));
    return nullptr;
  }
  return names;
}

bool ArchiveView::Open(const Context& context, const std::string& given) {
  // An archive from standard input is read into a file first: its directory
  // sits at its end. The file goes as soon as the archive is open.
  std::string spooled;
  if (given == "-") {
    if (Status status = SpoolStandardInput(spooled); !status.ok()) {
      error_ = "standard input: " + Describe(status);
      context.console.Error(error_);
      return false;
    }
  }
  struct Remove {
    const std::string& path;
    ~Remove() {
      if (!path.empty()) RemoveFile(path);
    }
  } remove{spooled};
  const std::string& path = spooled.empty() ? given : spooled;
  names_ = context.OpenNames();
  if (!names_) {
    error_ = "the names' code page cannot be used";
    return false;
  }
  HeaderFindings findings;
  if (Status status = ArchiveReader::Open(path, reader_, &findings); !status.ok()) {
    error_ = OpenFailure(given, status, findings);
    context.console.Error(error_);
    return false;
  }
  const DirectoryIndex& index = reader_->index();
  // The names go into one text, not a string each: a million allocations
  // were most of a listing's time under some systems' allocators.
  entries_.resize(index.EntryCount());
  names_text_.clear();
  std::vector<std::size_t> ends(entries_.size());
  std::string name;
  for (std::size_t listed = 0; listed < entries_.size(); ++listed) {
    Entry& entry = entries_[listed];
    entry.view = index.EntryAt(index.EntryCount() - 1 - listed);
    ReportedName(*names_, entry.view.StoredName(), name);
    names_text_ += name;
    ends[listed] = names_text_.size();
  }
  for (std::size_t listed = 0, start = 0; listed < entries_.size(); start = ends[listed++]) {
    entries_[listed].name = std::string_view(names_text_).substr(start, ends[listed] - start);
  }
  return true;
}

std::string OpenFailure(const std::string& path, const Status& status,
                        const HeaderFindings& findings) {
  if (status == Status::kNotAnArchive) return path + ": " + Refusal(findings);
  if (status == Status::kCannotOpen && Classify(status.system_error()) == SystemError::kIsAFolder) {
    return path + ": is a folder, not an archive";
  }
  return path + ": " + Describe(status);
}

std::string Shown(std::string_view name) {
  std::string shown(name);
  if (kPathSeparator != '\\') {
    for (char& c : shown) {
      if (c == '\\') c = kPathSeparator;
    }
  }
  return shown;
}

std::string DamageMessage(const std::string& archive, std::size_t entries) {
  return archive + ": damaged directory; only the " + Plural(entries, "entry", "entries") +
         " before the damage could be read";
}

}  // namespace kzr::cli
