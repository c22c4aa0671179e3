#include "target_order.h"

#include "native_fs.h"

namespace kzr::cli {

TargetOrder::Turn::~Turn() {
  if (taken_) {
    order_.Leave(position_, key_);
  } else {
    order_.Arrive(position_, nullptr);
  }
}

void TargetOrder::Turn::Take(const std::string& path) {
  key_ = PathKey(path);
  order_.Arrive(position_, &key_);
  taken_ = true;
}

void TargetOrder::Arrive(std::size_t position, const std::string* key) {
  std::unique_lock lock(mutex_);
  if (position == arrived_) {
    for (++arrived_; arrived_early_.erase(arrived_) != 0;) ++arrived_;
  } else {
    arrived_early_.insert(position);
  }
  std::set<std::size_t>* const at_file = key != nullptr ? &at_file_[*key] : nullptr;
  if (at_file != nullptr) at_file->insert(position);
  changed_.notify_all();
  if (at_file == nullptr) return;
  changed_.wait(lock, [&] { return arrived_ > position && *at_file->begin() == position; });
}

void TargetOrder::Leave(std::size_t position, const std::string& key) {
  std::lock_guard lock(mutex_);
  const auto at_file = at_file_.find(key);
  at_file->second.erase(position);
  if (at_file->second.empty()) at_file_.erase(at_file);
  changed_.notify_all();
}

}  // namespace kzr::cli
