// What the plugin's result codes mean, in words for one-line messages.
#pragma once

#include <cstddef>
#include <string>

namespace kzr::cli {

// "cannot open (15)", "not a KZR archive (14)", ...; unknown codes are named
// by number.
std::string DescribeResult(int code);

// "ARCHIVE: cause" for a listing that ended with `end_code` rather than 10,
// after `entries` entries.
std::string DescribeListingEnd(const std::string& archive, std::size_t entries, int end_code);

// The system's reason for the failure just reported by the plugin (errno,
// or the thread's last error on Windows), such as "No space left on device";
// empty when there is none.
std::string SystemReason();
// Forgets any earlier system error, before a call whose failure is to be
// explained.
void ClearSystemReason();

}  // namespace kzr::cli
