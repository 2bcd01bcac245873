#include "import/read/json_fields.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "import/import_error.h"

namespace importer {
namespace {

// A number as a file would write it: the fewest digits that read back as
// the same double ("2.5", "1e308"), not printf's six decimals.
std::string Shortest(double number) {
  char text[32];
  for (int digits = 1; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, number);
    if (std::strtod(text, nullptr) == number) break;
  }
  std::string out = text;
  const size_t e = out.find('e');
  if (e == std::string::npos) return out;
  // "1e+308" and "1e-05" are written "1e308" and "1e-5".
  const std::string sign = out[e + 1] == '-' ? "-" : "";
  const size_t digitsAt = out.find_first_not_of("+-0", e + 1);
  return out.substr(0, e + 1) + sign + (digitsAt == std::string::npos ? "0" : out.substr(digitsAt));
}

}  // namespace

// What a value is, for messages.
std::string Kind(const json_t* value) {
  switch (json_typeof(value)) {
    case JSON_OBJECT: return "an object";
    case JSON_ARRAY: return "an array";
    case JSON_STRING: {
      const std::string text = json_string_value(value);
      return "the string \"" + (text.size() <= 40 ? text : text.substr(0, 40) + "...") + "\"";
    }
    case JSON_INTEGER: return "the number " + std::to_string(json_integer_value(value));
    case JSON_REAL: return "the number " + Shortest(json_real_value(value));
    case JSON_TRUE: return "true";
    case JSON_FALSE: return "false";
    default: return "null";
  }
}

void JsonFile::Fail(const std::string& problem) const { throw ImportError(Where(path) + problem); }

void ParseJson(const std::string& text, const std::string& path, JsonDocument& document) {
  json_error_t error;
  // Deeply nested documents are refused by jansson itself (its depth limit).
  document.root = json_loadb(text.data(), text.size(), JSON_DECODE_ANY, &error);
  if (document.root == nullptr)
    throw ImportError(Where(path, error.line) + "not valid JSON: " + error.text);
  if (!json_is_object(document.root)) throw ImportError(Where(path) + "not a JSON object");
}

void Fields::Expected(const char* key, const char* what, const json_t* value) const {
  file.Fail(owner + "\"" + key + "\" should be " + what + ", not " + (value ? Kind(value) : "missing"));
}

const json_t* Fields::Get(const char* key) const {
  const json_t* value = json_object_get(object, key);
  return json_is_null(value) ? nullptr : value;
}

std::optional<double> Fields::OptionalNumber(const char* key) const {
  const json_t* value = Get(key);
  if (value == nullptr) return std::nullopt;
  if (!json_is_number(value) || !std::isfinite(json_number_value(value))) Expected(key, "a number", value);
  return json_number_value(value);
}

std::optional<int> Fields::OptionalInt(const char* key) const {
  const json_t* value = Get(key);
  if (value == nullptr) return std::nullopt;
  const double number = json_is_number(value) ? json_number_value(value) : 0.5;
  if (!(number >= -2147483648.0 && number <= 2147483647.0) || number != std::floor(number))
    Expected(key, "a whole number", value);
  return static_cast<int>(number);
}

int Fields::RequiredInt(const char* key) const {
  if (Get(key) == nullptr) Expected(key, "a whole number", nullptr);
  return *OptionalInt(key);
}

bool Fields::Flag(const char* key, bool otherwise) const {
  const json_t* value = Get(key);
  if (value == nullptr) return otherwise;
  if (json_is_boolean(value)) return json_is_true(value);
  if (json_is_integer(value)) return json_integer_value(value) != 0;
  Expected(key, "true or false", value);
}

std::string Fields::String(const char* key) const {
  const json_t* value = Get(key);
  if (value == nullptr) return "";
  if (!json_is_string(value)) Expected(key, "a string", value);
  return json_string_value(value);
}

std::string Fields::RequiredString(const char* key) const {
  if (Get(key) == nullptr) Expected(key, "a string", nullptr);
  return String(key);
}

const json_t* Fields::Array(const char* key) const {
  const json_t* value = Get(key);
  if (value != nullptr && !json_is_array(value)) Expected(key, "an array", value);
  return value;
}

const json_t* Fields::Object(const char* key) const {
  const json_t* value = Get(key);
  if (value != nullptr && !json_is_object(value)) Expected(key, "an object", value);
  return value;
}

}  // namespace importer
