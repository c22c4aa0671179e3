#include "json_output.h"

#if defined(_WIN32)
#include "ansi_text.h"
#endif

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

#if !defined(_WIN32)
// The UTF-8 character at text[at], and its length in bytes; a length of 0
// for a byte that starts none, or starts an overlong or surrogate form.
char32_t DecodeUtf8(std::string_view text, std::size_t at, std::size_t& length) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned lead = byte(0);
  const std::size_t size =
      lead < 0xC0 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
  length = 0;
  if (size == 0 || at + size > text.size()) return 0;
  char32_t value = lead & (0x7F >> size);
  for (std::size_t i = 1; i < size; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    value = value << 6 | (byte(i) & 0x3F);
  }
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[size] || value > 0x10FFFF || (value >= 0xD800 && value < 0xE000)) return 0;
  length = size;
  return value;
}
#endif

}  // namespace

std::string JsonString(std::string_view text) {
  std::string json;
  json.reserve(text.size() + 2);
  json += '"';
#if defined(_WIN32)
  for (const wchar_t unit : WideFromAnsi(text)) {
    // Surrogates are escaped one by one, as JSON wants them.
    AppendCharacter(json, static_cast<char32_t>(unit));
  }
#else
  for (std::size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    std::size_t length = 1;
    char32_t character = byte;
    if (byte >= 0x80) {
      character = DecodeUtf8(text, at, length);
      if (length == 0) {
        length = 1;
        character = byte;  // not UTF-8: the byte's value
      }
    }
    AppendCharacter(json, character);
    at += length;
  }
#endif
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
