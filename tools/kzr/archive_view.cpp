#include "archive_view.h"

#include "archive/entry_names.h"
#include "archive/names_setting.h"
#include "messages.h"
#include "platform/paths.h"
#include "platform/files.h"
#include "quantities.h"

namespace kzr::cli {
namespace {

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

bool ArchiveView::Open(const Context& context, const std::string& path) {
  names_ = context.OpenNames();
  if (!names_) {
    error_ = "the names' code page cannot be used";
    return false;
  }
  HeaderFindings findings;
  if (Status status = ArchiveReader::Open(path, reader_, &findings); !status.ok()) {
    error_ = path + ": " + (status == Status::kNotAnArchive ? Refusal(findings)
                            : Classify(status.system_error()) == SystemError::kIsAFolder ? "is a folder, not an archive"
                                                                  : Describe(status));
    context.console.Error(error_);
    return false;
  }
  const DirectoryIndex& index = reader_->index();
  entries_.resize(index.EntryCount());
  for (std::size_t listed = 0; listed < entries_.size(); ++listed) {
    Entry& entry = entries_[listed];
    entry.view = index.EntryAt(index.EntryCount() - 1 - listed);
    ReportedName(*names_, entry.view.StoredName(), entry.name);
  }
  return true;
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
