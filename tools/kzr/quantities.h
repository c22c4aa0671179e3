// Counts and sizes in words: "1 entry", "2 entries"; "512 B", "1.5 KiB".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kzr::cli {

// The count followed by the singular or the plural noun.
std::string Plural(std::uint64_t count, std::string_view one, std::string_view many);

// Bytes below 1 KiB as they are ("512 B"); above, in KiB, MiB or GiB with one
// decimal ("1.5 KiB", "300.0 MiB").
std::string HumanSize(std::uint64_t bytes);

// A size as a column or a field shows it: the plain number, or HumanSize
// with `human`.
std::string SizeText(std::uint64_t bytes, bool human);
// A size in a sentence: "1 byte", "300 bytes", or HumanSize with `human`.
std::string SizeWords(std::uint64_t bytes, bool human);

}  // namespace kzr::cli
