#include "parallel.h"

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace kzr::cli {

void RunInOrder(unsigned jobs, std::size_t items,
                const std::function<void(std::size_t item, unsigned job)>& work,
                const std::function<void(std::size_t item)>& deliver) {
  std::atomic<std::size_t> next{0};
  std::mutex mutex;
  std::vector<bool> done(items, false);
  std::size_t delivered = 0;
  const auto run = [&](unsigned job) {
    for (std::size_t item; (item = next.fetch_add(1)) < items;) {
      work(item, job);
      const std::lock_guard lock(mutex);
      done[item] = true;
      while (delivered < items && done[delivered]) deliver(delivered++);
    }
  };
  jobs = std::max(1u, std::min<unsigned>(jobs, static_cast<unsigned>(std::max<std::size_t>(items, 1))));
  if (jobs == 1) {
    run(0);
    return;
  }
  std::vector<std::thread> threads;
  for (unsigned job = 0; job < jobs; ++job) threads.emplace_back(run, job);
  for (std::thread& thread : threads) thread.join();
}

}  // namespace kzr::cli
