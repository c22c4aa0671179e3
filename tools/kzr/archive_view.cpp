#include "archive_view.h"

#include "archive/entry_names.h"
#include "archive/names_setting.h"
#include "messages.h"
#include "platform/paths.h"
#include "quantities.h"

namespace kzr::cli {

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
  if (Status status = ArchiveReader::Open(path, reader_); !status.ok()) {
    error_ = Explain(status, path);
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
