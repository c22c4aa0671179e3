// Keeps the entries that go to one file in listing order while several jobs
// extract at once, so that the result is the one a single job leaves: an
// entry looks at its file only when every earlier entry has said where it
// goes and each earlier one that goes to the same file is done with it.
// Otherwise the second of two entries of one name could find no file yet and
// write over the first, or lose to it, as the threads happen to run.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <set>
#include <string>

namespace kzr::cli {

class TargetOrder {
 public:
  // One entry's turn; every entry the walk hands out takes one, at its
  // listing position, whether or not it goes to a file, unless it is dropped.
  class Turn {
   public:
    Turn(TargetOrder& order, std::size_t position) : order_(order), position_(position) {}
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;
    ~Turn();

    // Waits until the entry may look at, and write, the file at `path`.
    void Take(const std::string& path);

   private:
    TargetOrder& order_;
    std::size_t position_;
    bool taken_ = false;
    std::string key_;  // of the file, once taken
  };

  // An entry that the walk handed out and then dropped: it goes to no file,
  // and those after it do not wait for it.
  void Dropped(std::size_t position) { Arrive(position, nullptr); }

 private:
  void Arrive(std::size_t position, const std::string* key);
  void Leave(std::size_t position, const std::string& key);

  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t arrived_ = 0;             // every entry before this one has arrived
  std::set<std::size_t> arrived_early_;  // those that came before an earlier one
  std::map<std::string, std::set<std::size_t>> at_file_;  // unfinished entries a file
};

}  // namespace kzr::cli
