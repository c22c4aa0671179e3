#include "plugin/host_code_page.h"

#if defined(_WIN32)

#include <windows.h>

namespace kzr::host {
namespace {

LeadBytes AnsiLeadBytes() noexcept {
  LeadBytes lead;
  CPINFO info;
  if (GetCPInfo(CP_ACP, &info) == 0 || info.MaxCharSize != 2) return lead;
  // Ranges as pairs of first and last byte, closed by a zero pair.
  for (std::size_t i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
    for (unsigned byte = info.LeadByte[i]; byte <= info.LeadByte[i + 1]; ++byte) {
      lead.is_lead[byte] = true;
      lead.any = true;
    }
  }
  return lead;
}

}  // namespace

const LeadBytes kAnsiLeadBytes = AnsiLeadBytes();

}  // namespace kzr::host

#endif
