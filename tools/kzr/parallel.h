// Work on several threads, told in order: items are taken in order by up to
// `jobs` threads as they become free (a large member does not hold up the
// rest), and what each one found is handed to `deliver` in item order, one
// call at a time, so output and messages read as those of a single job.
#pragma once

#include <cstddef>
#include <functional>

namespace kzr::cli {

// `work(item, job)` runs on a thread numbered `job` (0 to jobs - 1);
// `deliver(item)` follows once every earlier item has been delivered.
void RunInOrder(unsigned jobs, std::size_t items,
                const std::function<void(std::size_t item, unsigned job)>& work,
                const std::function<void(std::size_t item)>& deliver);

}  // namespace kzr::cli
