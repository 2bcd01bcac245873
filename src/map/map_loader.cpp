#include "map/map_loader.h"

#include <jansson.h>

#include <cstdint>
#include <cstdlib>
#include <iostream>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "map/document_arena.h"

namespace {

struct MapSize {
  int32_t tileWidth;
  int32_t tileHeight;
  int32_t width;
  int32_t height;
};

// Every number in a map file is a signed 32-bit value: the low 32 bits of the
// parsed integer. Anything that isn't an integer counts as 0.
int32_t ToInt32(const json_t* value) {
  return static_cast<int32_t>(static_cast<uint32_t>(json_integer_value(value)));
}

int32_t IntegerMember(const json_t* object, const char* key) {
  return ToInt32(json_object_get(object, key));
}

// A layer without a string "name" (or a layer that isn't an object) still
// gets its name line, with nothing after the label.
const char* NameOf(const json_t* layer) {
  const char* name = json_string_value(json_object_get(layer, "name"));
  return name ? name : "";
}

// Allocates width * height zeroed cells, or returns null when the product is
// negative, doesn't fit in 32 bits, or the memory can't be had. calloc hands
// out untouched zero pages, so a huge map with a short "data" array costs
// only the pages the file actually writes.
int32_t* AllocateCells(const MapSize& size, size_t& cellCount) {
  if (size.width < 0 || size.height < 0) return nullptr;
  const int64_t product = static_cast<int64_t>(size.width) * size.height;
  if (product > INT32_MAX) return nullptr;
  cellCount = static_cast<size_t>(product);
  // One cell at least, so that even a 0-cell map gets a real array.
  return static_cast<int32_t*>(std::calloc(cellCount > 0 ? cellCount : 1, sizeof(int32_t)));
}

void LoadLayer(const json_t* layerObject, const MapSize& size, Layer& slot) {
  std::cout << std::endl;
  std::cout << "Layer Name: " << NameOf(layerObject) << std::endl;

  const json_t* data = json_object_get(layerObject, "data");
  if (!json_is_array(data)) return;  // the slot stays as it was

  size_t cellCount = 0;
  int32_t* cells = AllocateCells(size, cellCount);
  if (cells == nullptr) return;

  // Entries past the last cell are ignored; cells past the last entry stay 0.
  const size_t entries = json_array_size(data);
  for (size_t i = 0; i < entries && i < cellCount; ++i) {
    cells[i] = ToInt32(json_array_get(data, i));
  }
  slot.Set(cells, size.width, size.height, size.tileWidth, size.tileHeight);
}

// The parsed document can take many times the memory of the cells; hand what
// the heap still holds of it back to the system, so that only the cells stay
// resident.
void ReturnFreedMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

// The parsed document is not released value by value: it goes with the arena.
bool ReadMap(const std::string& path, Layer* layers, unsigned capacity) {
  json_error_t error;
  const json_t* root = json_load_file(path.c_str(), 0, &error);
  if (!root) {
    std::cout << "Error - couldn't parse json data in " << path << "." << std::endl;
    std::cout << error.text << std::endl;
    return false;
  }
  if (!json_is_object(root)) {
    std::cout << "Error - unexpected format of json data in " << path << "." << std::endl;
    return false;
  }

  MapSize size;
  size.tileWidth = IntegerMember(root, "tilewidth");
  size.tileHeight = IntegerMember(root, "tileheight");
  size.width = IntegerMember(root, "width");
  size.height = IntegerMember(root, "height");

  const json_t* layerArray = json_object_get(root, "layers");
  if (!json_is_array(layerArray)) return true;  // nothing to load

  const size_t layerTotal = json_array_size(layerArray);
  if (layerTotal > capacity) {
    std::cout << "ERROR: More layers in map than the engine can handle right now!" << std::endl;
    return false;
  }

  layerCount = static_cast<uint16_t>(layerTotal);
  for (size_t i = 0; i < layerTotal; ++i) {
    LoadLayer(json_array_get(layerArray, i), size, layers[i]);
  }

  return true;
}

}  // namespace

bool LoadMap(std::string path, Layer* layers, unsigned capacity) {
  bool result = false;
  {
    DocumentArena document;  // the parsed document lives and goes with it
    result = ReadMap(path, layers, capacity);
  }
  ReturnFreedMemory();
  return result;
}
