#include "plugin/host_names.h"

#include <algorithm>
#include <cstring>

namespace kzr::host {
namespace {

bool IsDrivePrefix(const char* name, std::size_t length) noexcept {
  if (length < 2 || name[1] != ':') return false;
  const char c = name[0];
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char Folded(char c) noexcept {
  if (c == '/') return '\\';
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool IsCleanName(const char* name, std::size_t length) noexcept {
  if (length == 0) return true;
  if (IsDrivePrefix(name, length)) return false;
  // Each component starts after a separator (or at the start): it must not
  // be empty, "." or "..".
  std::size_t start = 0;
  for (;;) {
    const void* found = std::memchr(name + start, '\\', length - start);
    const void* slash = std::memchr(name + start, '/', length - start);
    std::size_t end = length;
    if (found != nullptr) end = static_cast<std::size_t>(static_cast<const char*>(found) - name);
    if (slash != nullptr) {
      end = std::min(end, static_cast<std::size_t>(static_cast<const char*>(slash) - name));
    }
    const std::size_t size = end - start;
    if (size == 0) return false;
    if (name[start] == '.' && (size == 1 || (size == 2 && name[start + 1] == '.'))) return false;
    if (end == length) return true;
    start = end + 1;
  }
}

std::size_t CleanName(const char* name, std::size_t length, char* out,
                      std::size_t capacity) noexcept {
  std::size_t written = 0;
  for (std::size_t start = 0; start <= length && written < capacity;) {
    std::size_t end = start;
    while (end < length && !IsNameSeparator(name[end])) ++end;
    // Whatever comes first must not name a drive either ("C:D:x").
    while (written == 0 && IsDrivePrefix(name + start, end - start)) start += 2;
    const std::size_t size = end - start;
    const bool dropped =
        size == 0 || (name[start] == '.' && (size == 1 || (size == 2 && name[start + 1] == '.')));
    if (!dropped) {
      if (written != 0) out[written++] = kStoredSeparator;
      const std::size_t kept = std::min(size, capacity - written);
      std::memmove(out + written, name + start, kept);  // out may be name itself
      written += kept;
    }
    start = end + 1;
  }
  return written;
}

void ReportedName(NameConverter& names, std::string_view stored, std::string& out) {
  out.clear();
  if (names.KeepsAsIs(stored.data(), stored.size())) {
    out.assign(stored);
  } else {
    // Converted first: in a code page of two-byte characters a `\` byte may
    // be the second half of a character, which only the conversion can tell.
    names.ToHost(stored, out);
  }
  if (!IsCleanName(out.data(), out.size())) {
    out.resize(CleanName(out.data(), out.size(), out.data(), out.size()));
  }
}

void ToHostSeparators(char* name, std::size_t capacity) noexcept {
  if constexpr (kHostSeparator != kStoredSeparator) {
    for (std::size_t i = 0; i < capacity && name[i] != '\0'; ++i) {
      if (name[i] == kStoredSeparator) name[i] = kHostSeparator;
    }
  } else {
    (void)name;
    (void)capacity;
  }
}

std::string HostNameFor(std::string_view sub_path, std::string_view item) {
  std::string name;
  name.reserve(sub_path.size() + 1 + item.size());
  name.append(sub_path);
  if (!name.empty() && !IsNameSeparator(name.back())) name += kStoredSeparator;
  name.append(item);
  for (char& c : name) {
    if (c == kHostSeparator) c = kStoredSeparator;
  }
  return name;
}

bool SameMemberName(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Folded(a[i]) != Folded(b[i])) return false;
  }
  return true;
}

std::string MemberKey(std::string_view name) {
  std::string key(name);
  for (char& c : key) c = Folded(c);
  return key;
}

}  // namespace kzr::host
