#include "entry_walk.h"

#include <atomic>
#include <limits>
#include <map>
#include <mutex>
#include <thread>

namespace kzr::cli {
namespace {

constexpr std::size_t kNoEnd = std::numeric_limits<std::size_t>::max();

class Walk {
 public:
  Walk(const Context& context, const std::string& archive, host::ProcessDataProc progress,
       const EntryHandler& handle, const OutcomeSink& deliver, const DroppedEntry& dropped)
      : context_(context), archive_(archive), progress_(progress), handle_(handle),
        deliver_(deliver), dropped_(dropped) {}

  WalkEnd Run() {
    const unsigned jobs = context_.jobs == 0 ? 1 : context_.jobs;
    if (jobs == 1) {
      Work();
    } else {
      std::vector<std::thread> workers;
      for (unsigned i = 0; i < jobs; ++i) workers.emplace_back([this] { Work(); });
      for (std::thread& worker : workers) worker.join();
    }
    std::lock_guard lock(mutex_);
    end_.entries = end_position_ == kNoEnd ? delivered_ : end_position_;
    return end_;
  }

 private:
  void Work() {
    OpenFailure failure;
    std::unique_ptr<ArchiveSession> session = ArchiveSession::Open(context_.api, archive_, failure);
    if (!session) {
      std::lock_guard lock(mutex_);
      if (end_.open.code == 0) end_.open = failure;
      stop_ = true;
      return;
    }
    session->SetProcessDataProc(progress_);
    ListedEntry entry;
    std::size_t position = 0;  // entries this handle has listed
    while (!stop_) {
      const std::size_t claim = next_.fetch_add(1);
      while (position <= claim) {
        const int listed = session->Next(entry);
        if (listed != host::kOk) {
          Ended(position, listed);
          if (dropped_) dropped_(claim);
          return;
        }
        if (position < claim) session->Skip();
        ++position;
      }
      EntryOutcome outcome = handle_(claim, entry, *session);
      Deliver(claim, std::move(outcome));
    }
  }

  void Ended(std::size_t position, int code) {
    std::lock_guard lock(mutex_);
    if (end_position_ == kNoEnd || position < end_position_) {
      end_position_ = position;
      end_.end_code = code;
    }
  }

  // Outcomes wait until every earlier one is out.
  void Deliver(std::size_t position, EntryOutcome&& outcome) {
    std::lock_guard lock(mutex_);
    waiting_.emplace(position, std::move(outcome));
    for (auto first = waiting_.begin(); first != waiting_.end() && first->first == delivered_;
         first = waiting_.begin()) {
      deliver_(first->first, first->second);
      waiting_.erase(first);
      ++delivered_;
    }
  }

  const Context& context_;
  const std::string& archive_;
  const host::ProcessDataProc progress_;
  const EntryHandler& handle_;
  const OutcomeSink& deliver_;
  const DroppedEntry& dropped_;

  std::atomic<std::size_t> next_{0};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::map<std::size_t, EntryOutcome> waiting_;
  std::size_t delivered_ = 0;
  std::size_t end_position_ = kNoEnd;
  WalkEnd end_;
};

}  // namespace

WalkEnd WalkEntries(const Context& context, const std::string& archive,
                    host::ProcessDataProc progress, const EntryHandler& handle,
                    const OutcomeSink& deliver, const DroppedEntry& dropped) {
  return Walk(context, archive, progress, handle, deliver, dropped).Run();
}

}  // namespace kzr::cli
