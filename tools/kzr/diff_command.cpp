// kzr diff: two archives compared entry by entry. Entries are paired by
// their reported names (several of one name in listing order); a pair whose
// members decode to other bytes differs, whatever the two archives store.
// Members are compared as they stream, a piece at a time: one archive's
// member is decoded on this thread and the other's pulled alongside it
// (member_reader.h), so memory is two decoders' working sets at most,
// whatever the members' sizes. Stored bytes that are alike decode alike, so
// members stored the same way are compared as stored first, which saves
// decoding what has not changed.
//
// Exit status as diff's: 0 when the archives hold the same members, 1 when
// they differ, 2 when anything could not be read.
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "archive/entry_names.h"
#include "archive/member_reader.h"
#include "archive_view.h"
#include "codec/content_mask.h"
#include "commands.h"
#include "json_output.h"
#include "messages.h"
#include "quantities.h"

namespace kzr::cli {
namespace {

constexpr int kExitDifferent = 1;
constexpr int kExitTrouble = 2;
constexpr std::size_t kPiece = std::size_t{256} << 10;
// Decoded bytes kept for the member that is pulled.
constexpr std::size_t kPulledWindow = std::size_t{1} << 20;

// Takes one member's bytes and matches them with the other's, pulled at the
// same offsets; stops at the first byte that differs.
class Matching final : public MemberSink {
 public:
  using Pull = std::function<Status(std::uint64_t offset, std::uint8_t* to, std::size_t size)>;
  explicit Matching(Pull pull) : pull_(std::move(pull)), buffer_(new std::uint8_t[kPiece]) {}

  Status Write(const std::uint8_t* bytes, std::size_t size) noexcept override {
    while (size > 0) {
      const std::size_t piece = std::min(size, kPiece);
      if (Status status = pull_(offset_, buffer_.get(), piece); !status.ok()) {
        other_failure = status;
        return Status::kAborted;
      }
      if (std::memcmp(bytes, buffer_.get(), piece) != 0) {
        std::size_t at = 0;
        while (bytes[at] == buffer_[at]) ++at;
        first_difference = offset_ + at;
        return Status::kAborted;
      }
      offset_ += piece;
      bytes += piece;
      size -= piece;
    }
    return Status::kOk;
  }

  std::optional<std::uint64_t> first_difference;
  Status other_failure;

 private:
  Pull pull_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::uint64_t offset_ = 0;
};

enum class Change { kAlike, kRemoved, kAdded, kChanged, kStoredDifferently, kUnreadable };

struct Finding {
  Change change = Change::kAlike;
  const Entry* first = nullptr;
  const Entry* second = nullptr;
  std::optional<std::uint64_t> first_difference;  // kChanged, for members of one length
  Status trouble;                                 // kUnreadable
  bool trouble_in_second = false;
};

class Comparer {
 public:
  Comparer(const ArchiveView& first, const ArchiveView& second) : first_(first), second_(second) {}

  void Compare(Finding& finding) {
    const EntryView a = finding.first->view;
    const EntryView b = finding.second->view;
    if (a.UncompressedSize() != b.UncompressedSize()) {
      finding.change = Change::kChanged;
      return;
    }
    if (Status status = second_.reader().CheckEntry(b); !status.ok()) {
      Unreadable(finding, status, true);
      return;
    }
    const bool masked = first_.reader().header().IsMasked();
    const bool same_way =
        a.IsCompressed() == b.IsCompressed() && a.StoredSize() == b.StoredSize() &&
        (a.IsCompressed() || (masked == second_.reader().header().IsMasked() &&
                              (!masked || IsIniDatName(a.Name()) == IsIniDatName(b.Name()))));
    if (same_way) {
      Matching stored([&](std::uint64_t offset, std::uint8_t* to, std::size_t size) {
        return second_.reader().file().ReadAt(b.DataOffset() + offset, to, size).ok()
                   ? Status(Status::kOk)
                   : Status(Status::kCorruptData);
      });
      const Status status = first_.reader().CopyStored(a, stored, buffers_);
      if (status.ok()) return;  // alike, and stored alike
      if (!stored.other_failure.ok()) return Unreadable(finding, stored.other_failure, true);
      if (!stored.first_difference) return Unreadable(finding, status, false);
    }
    MemberReader pulled(second_.reader(), b, kPulledWindow);
    Matching decoded([&](std::uint64_t offset, std::uint8_t* to, std::size_t size) {
      std::size_t got = 0;
      const Status status = pulled.ReadAt(offset, to, size, got);
      return status.ok() && got != size ? Status(Status::kCorruptData) : status;
    });
    const Status status = first_.reader().ReadMember(a, &decoded, buffers_);
    if (status.ok()) {
      finding.change = Change::kStoredDifferently;
    } else if (decoded.first_difference) {
      finding.change = Change::kChanged;
      finding.first_difference = decoded.first_difference;
    } else if (!decoded.other_failure.ok()) {
      Unreadable(finding, decoded.other_failure, true);
    } else {
      Unreadable(finding, status, false);
    }
  }

 private:
  static void Unreadable(Finding& finding, const Status& status, bool in_second) {
    finding.change = Change::kUnreadable;
    finding.trouble = status;
    finding.trouble_in_second = in_second;
  }

  const ArchiveView& first_;
  const ArchiveView& second_;
  MemberBuffers buffers_;
};

// The entries in order of their names' keys, those of one key in listing
// order.
std::vector<std::pair<std::string, const Entry*>> ByName(const ArchiveView& archive) {
  std::vector<std::pair<std::string, const Entry*>> keyed;
  keyed.reserve(archive.entries().size());
  for (const Entry& entry : archive.entries()) keyed.emplace_back(ExactKey(entry.name), &entry);
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  return keyed;
}

// How the two store members that decode alike.
std::string HowStored(const Finding& finding, const DiffOptions& options, bool first_masked,
                      bool second_masked) {
  const EntryView a = finding.first->view;
  const EntryView b = finding.second->view;
  const auto kind = [](const EntryView& entry, bool masked) {
    return entry.IsCompressed() ? "compressed" : masked ? "masked" : "plain";
  };
  const std::string first_kind = kind(a, first_masked);
  const std::string second_kind = kind(b, second_masked);
  if (first_kind != second_kind) {
    return first_kind + " in " + options.archive + ", " + second_kind + " in " + options.other;
  }
  return first_kind + " differently (" + std::to_string(a.StoredSize()) + " and " +
         std::to_string(b.StoredSize()) + " bytes stored)";
}

std::string JsonSide(const EntryView& entry, bool masked) {
  return JsonObject()
      .Number("packed", std::uint64_t{entry.StoredSize()})
      .Number("unpacked", std::uint64_t{entry.UncompressedSize()})
      .Bool("compressed", entry.IsCompressed())
      .Bool("masked", !entry.IsCompressed() && masked)
      .Closed();
}

}  // namespace

int RunDiff(const Context& context, const DiffOptions& options) {
  const Console& console = context.console;
  ArchiveView first, second;
  const bool opened = first.Open(context, options.archive) && second.Open(context, options.other);
  if (!opened) {
    if (options.json) {
      console.Out(Unopened(JsonObject::Document(options.archive).Text("other", options.other),
                           first.error().empty() ? second.error() : first.error()));
    }
    return kExitTrouble;
  }
  const bool first_masked = first.reader().header().IsMasked();
  const bool second_masked = second.reader().header().IsMasked();

  const auto a = ByName(first);
  const auto b = ByName(second);
  Comparer comparer(first, second);
  std::size_t alike = 0, differences = 0, troubles = 0;
  bool any_record = false;
  if (options.json) {
    console.Out(JsonObject::Document(options.archive).Text("other", options.other).Open() +
                ",\n \"entries\": [");
  }
  for (std::size_t i = 0, j = 0; i < a.size() || j < b.size();) {
    Finding finding;
    if (j == b.size() || (i < a.size() && a[i].first < b[j].first)) {
      finding.change = Change::kRemoved;
      finding.first = a[i++].second;
    } else if (i == a.size() || b[j].first < a[i].first) {
      finding.change = Change::kAdded;
      finding.second = b[j++].second;
    } else {
      finding.first = a[i++].second;
      finding.second = b[j++].second;
      comparer.Compare(finding);
    }
    const Entry& entry = finding.first != nullptr ? *finding.first : *finding.second;
    const std::string name = Printable(Shown(entry.name));
    JsonObject record;
    record.Text("name", JsonName(entry.name));
    std::string line;
    switch (finding.change) {
      case Change::kAlike:
        ++alike;
        continue;
      case Change::kStoredDifferently:
        ++alike;
        if (!console.verbose()) continue;
        line = "stored differently: " + name + " (" +
               HowStored(finding, options, first_masked, second_masked) + ")";
        record.Text("change", "stored_differently");
        break;
      case Change::kRemoved:
        ++differences;
        line = "only in " + options.archive + ": " + name;
        record.Text("change", "removed");
        break;
      case Change::kAdded:
        ++differences;
        line = "only in " + options.other + ": " + name;
        record.Text("change", "added");
        break;
      case Change::kChanged: {
        ++differences;
        const std::uint32_t size_a = finding.first->view.UncompressedSize();
        const std::uint32_t size_b = finding.second->view.UncompressedSize();
        line = "differ: " + name + " (" +
               (size_a != size_b ? Plural(size_a, "byte", "bytes") + " and " +
                                       Plural(size_b, "byte", "bytes")
                                 : "first at byte " + std::to_string(*finding.first_difference)) +
               ")";
        record.Text("change", "changed").Number("first_difference", finding.first_difference);
        break;
      }
      case Change::kUnreadable: {
        ++troubles;
        const std::string& archive = finding.trouble_in_second ? options.other : options.archive;
        const std::string error = archive + ": " + name + ": " + Describe(finding.trouble);
        console.Error(error);
        record.Text("change", "unreadable").Text("error", error);
        break;
      }
    }
    if (finding.first != nullptr) {
      record.Raw("in_archive", JsonSide(finding.first->view, first_masked));
    }
    if (finding.second != nullptr) {
      record.Raw("in_other", JsonSide(finding.second->view, second_masked));
    }
    if (options.json) {
      console.Out((any_record ? ",\n  " : "\n  ") + record.Closed());
      any_record = true;
    } else if (finding.change != Change::kUnreadable) {
      console.Out(line + "\n");
    }
  }

  // A damaged directory was compared as far as it could be read.
  bool damaged = false;
  for (const ArchiveView* archive : {&first, &second}) {
    if (!archive->damaged()) continue;
    damaged = true;
    console.Error(DamageMessage(archive == &first ? options.archive : options.other,
                                archive->entries().size()));
  }
  if (options.json) {
    JsonObject totals;
    totals.Number("alike", std::uint64_t{alike})
        .Number("different", std::uint64_t{differences})
        .Bool("complete", troubles == 0 && !damaged);
    console.Out(std::string(any_record ? "\n " : "") + "], " + totals.Closed().substr(1) + "\n");
  } else if (console.verbose()) {
    console.Note(options.archive + " and " + options.other + ": " +
                 Plural(alike, "entry", "entries") + " alike, " +
                 Plural(differences, "difference", "differences") +
                 (troubles != 0 ? ", " + Plural(troubles, "entry", "entries") + " unreadable" : ""));
  }
  if (troubles != 0 || damaged) return kExitTrouble;
  return differences != 0 ? kExitDifferent : kExitOk;
}

}  // namespace kzr::cli
