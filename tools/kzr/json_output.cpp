#include "json_output.h"

#include <algorithm>

#include "base/utf8.h"

namespace kzr::cli {
namespace {

void AppendEscape(std::string& json, unsigned unit) {
  static constexpr char kHex[] = "0123456789abcdef";
  json += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) json += kHex[(unit >> shift) & 0x0F];
}

void AppendCharacter(std::string& json, char32_t character) {
  switch (character) {
    case '"': json += "\\\""; return;
    case '\\': json += "\\\\"; return;
    case '\n': json += "\\n"; return;
    case '\r': json += "\\r"; return;
    case '\t': json += "\\t"; return;
    default: break;
  }
  if (character >= 0x20 && character < 0x7F) {
    json += static_cast<char>(character);
  } else if (character < 0x10000) {
    AppendEscape(json, character);
  } else {
    const char32_t above = character - 0x10000;
    AppendEscape(json, 0xD800 + (above >> 10));
    AppendEscape(json, 0xDC00 + (above & 0x3FF));
  }
}


}  // namespace

std::string JsonName(std::string_view reported) {
  std::string name(reported);
  std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

std::string JsonString(std::string_view text) {
  std::string json;
  json.reserve(text.size() + 2);
  json += '"';
  for (std::size_t at = 0, length = 0; at < text.size(); at += length) {
    const char32_t character = utf8::Decode(text, at, length);
    // A byte that is no part of UTF-8: its value.
    AppendCharacter(json, length == 1 && character >= 0xDC80 && character <= 0xDCFF
                              ? static_cast<char32_t>(static_cast<unsigned char>(text[at]))
                              : character);
  }
  json += '"';
  return json;
}

JsonObject JsonObject::Document(std::string_view archive) {
  JsonObject document;
  document.Number("schema_version", std::uint64_t{kJsonSchemaVersion}).Text("archive", archive);
  return document;
}

std::string Unopened(JsonObject document, std::string_view error, bool entries) {
  if (entries) document.Raw("entries", "[]");
  return document.Bool("complete", false).Text("error", error).Closed() + "\n";
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

JsonObject& JsonObject::Raw(std::string_view key, std::string_view json) {
  Key(key).text_ += json;
  return *this;
}

}  // namespace kzr::cli
