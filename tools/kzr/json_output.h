// JSON text for the documents that list, test and info write. Each is one
// object that starts with "schema_version" (kJsonSchemaVersion, raised when
// a field changes its meaning or goes away; new fields may come without it)
// and "archive". When the archive cannot be opened, the document still
// comes, with "complete": false and the message as "error".
//
// Names are text: UTF-8, converted from the archive's code page. Every character
// from U+007F up, and every control character, is written as a \uXXXX
// escape (two for a character past U+FFFF), so the output is plain ASCII and
// always valid JSON. A byte that is no part of UTF-8 (in a path, say) is
// written as \u00XX, the code point of its value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kzr::cli {

inline constexpr int kJsonSchemaVersion = 1;

// The text as a quoted JSON string.
std::string JsonString(std::string_view text);
// A reported name as documents give it: with `/` between folders on every
// system.
std::string JsonName(std::string_view reported);

// One object, its fields in the order they are added, on one line.
class JsonObject {
 public:
  // The document's first fields: the schema version and the archive.
  static JsonObject Document(std::string_view archive);

  JsonObject& Text(std::string_view key, std::string_view bytes);
  JsonObject& Number(std::string_view key, std::uint64_t value);
  JsonObject& Bool(std::string_view key, bool value);
  // A missing value is written as null.
  JsonObject& Number(std::string_view key, std::optional<std::uint64_t> value);
  // `json` is written as it is: an object or array made elsewhere.
  JsonObject& Raw(std::string_view key, std::string_view json);

  // The text so far, without the closing brace (for a document whose last
  // field is written piece by piece).
  const std::string& Open() const { return text_; }
  std::string Closed() const { return text_ + "}"; }

 private:
  JsonObject& Key(std::string_view key);

  std::string text_ = "{";
};

// The document of an archive that cannot be opened, with its line's end:
// `document`'s fields, then "entries": [] (unless `entries` is false),
// "complete": false and "error".
std::string Unopened(JsonObject document, std::string_view error, bool entries = true);

}  // namespace kzr::cli
