#include "json_output.h"

namespace kzr::cli {

std::string JsonString(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string json;
  json.reserve(bytes.size() + 2);
  json += '"';
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': json += "\\\""; continue;
      case '\\': json += "\\\\"; continue;
      case '\n': json += "\\n"; continue;
      case '\r': json += "\\r"; continue;
      case '\t': json += "\\t"; continue;
      default: break;
    }
    if (byte < 0x20 || byte >= 0x7F) {
      json += "\\u00";
      json += kHex[byte >> 4];
      json += kHex[byte & 0x0F];
    } else {
      json += c;
    }
  }
  json += '"';
  return json;
}

}  // namespace kzr::cli
