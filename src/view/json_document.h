#pragma once

#include <jansson.h>

#include <memory>

// A parsed JSON document, released with its last owner.
struct JsonRelease {
  void operator()(json_t* value) const { json_decref(value); }
};
using JsonDocument = std::unique_ptr<json_t, JsonRelease>;
