#pragma once
// Reading the editor's JSON files: a parsed document, and the members of an
// object, each checked for its type, so that a value of the wrong type is
// refused with a line that names the field and what it should be.

#include <jansson.h>

#include <optional>
#include <string>

#include "import/read/linked_files.h"

namespace importer {

// The file being read, for messages; the files it may name, if any.
struct JsonFile {
  const std::string& path;
  const LinkedFiles* linked = nullptr;
  [[noreturn]] void Fail(const std::string& problem) const;
};

// Owns a parsed document.
struct JsonDocument {
  json_t* root = nullptr;
  JsonDocument() = default;
  JsonDocument(const JsonDocument&) = delete;
  JsonDocument& operator=(const JsonDocument&) = delete;
  ~JsonDocument() { json_decref(root); }
};

// What a value is, for messages ("the string \"four\"").
std::string Kind(const json_t* value);

// Throws ImportError (with the line) unless `text` is a JSON object.
void ParseJson(const std::string& text, const std::string& path, JsonDocument& document);

// The members of one JSON object: a member that is there must be what the
// format says (null counts as absent), and a required one must be there.
struct Fields {
  const JsonFile& file;
  const json_t* object;
  std::string owner;  // "layer \"ground\": ", for messages; "" for the file's top level

  [[noreturn]] void Expected(const char* key, const char* what, const json_t* value) const;
  const json_t* Get(const char* key) const;
  std::optional<double> OptionalNumber(const char* key) const;
  double Number(const char* key, double otherwise) const { return OptionalNumber(key).value_or(otherwise); }
  std::optional<int> OptionalInt(const char* key) const;
  int Int(const char* key, int otherwise = 0) const { return OptionalInt(key).value_or(otherwise); }
  int RequiredInt(const char* key) const;
  // Booleans; older files write 0 and 1.
  bool Flag(const char* key, bool otherwise) const;
  std::string String(const char* key) const;
  std::string RequiredString(const char* key) const;
  const json_t* Array(const char* key) const;
  const json_t* Object(const char* key) const;
  Fields Of(const json_t* member, const std::string& name) const { return Fields{file, member, owner + name}; }
};

}  // namespace importer
