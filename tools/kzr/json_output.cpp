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

JsonObject JsonObject::Document(std::string_view archive) {
  JsonObject document;
  document.Number("schema_version", std::uint64_t{kJsonSchemaVersion}).Text("archive", archive);
  return document;
}

JsonObject& JsonObject::Key(std::string_view key) {
  if (text_.size() > 1) text_ += ", ";
  text_ += JsonString(key);
  text_ += ": ";
  return *this;
}

JsonObject& JsonObject::Text(std::string_view key, std::string_view bytes) {
  Key(key).text_ += JsonString(bytes);
  return *this;
}

JsonObject& JsonObject::Number(std::string_view key, std::uint64_t value) {
  Key(key).text_ += std::to_string(value);
  return *this;
}

JsonObject& JsonObject::Bool(std::string_view key, bool value) {
  Key(key).text_ += value ? "true" : "false";
  return *this;
}

JsonObject& JsonObject::Number(std::string_view key, std::optional<std::uint64_t> value) {
  if (!value) return Raw(key, "null");
  return Number(key, *value);
}

JsonObject& JsonObject::Bool(std::string_view key, std::optional<bool> value) {
  if (!value) return Raw(key, "null");
  return Bool(key, *value);
}

JsonObject& JsonObject::Raw(std::string_view key, std::string_view json) {
  Key(key).text_ += json;
  return *this;
}

}  // namespace kzr::cli
