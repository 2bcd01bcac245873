#include "import/write/pieces.h"

#include <SDL.h>

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <future>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "import/import_error.h"
#include "import/write/png_stream.h"
#include "map/layer.h"

namespace importer {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const fs::path& path, const std::string& problem) {
  throw ImportError(Where(path.u8string()) + problem);
}

void AppendNumber(std::string& text, int64_t value) {
  char digits[24];
  text.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

// A level as its pieces are cut from it: the map itself or a zoom level.
struct LevelCells {
  int number = 0;
  int width = 0, height = 0;
  std::vector<const std::vector<int32_t>*> layers;  // rows of `width`, bottom first
  const std::vector<Block>* blocks = nullptr;        // value v shows block v - 1
  const std::vector<Animation>* animations = nullptr;
};

LevelCells MapCells(const Composition& composition) {
  LevelCells level{0, composition.width, composition.height, {}, &composition.blocks, &composition.animations};
  for (const std::vector<int32_t>& layer : composition.layers) level.layers.push_back(&layer);
  return level;
}

LevelCells ZoomCells(const ZoomLevel& zoom) {
  return {zoom.number, zoom.width, zoom.height, {&zoom.cells}, &zoom.blocks, &zoom.animations};
}

using AnimatedValues = std::unordered_map<int32_t, const Animation*>;

AnimatedValues AnimatedValuesOf(const LevelCells& level) {
  AnimatedValues animated;
  for (const Animation& animation : *level.animations) animated.emplace(animation.tile, &animation);
  return animated;
}

// The cells of a level a piece holds.
struct PiecePlace {
  int column = 0, row = 0;
  int left = 0, top = 0, width = 0, height = 0;
};

PiecePlace PlaceOf(const LevelCells& level, int column, int row) {
  const int left = column * kPieceCells, top = row * kPieceCells;
  return {column, row, left, top, std::min(kPieceCells, level.width - left), std::min(kPieceCells, level.height - top)};
}

// A piece's own blocks: the level's values it shows, in the order its
// cells first show them (layer by layer, row by row), then the frames of
// the animated ones among them while there is room. Numbered by the piece
// alone, a piece's files depend on nothing but what it shows: a change
// elsewhere in the map renames no other piece. The cells' own always fit:
// the importer writes at most kMaxLayers layers.
static_assert(kPieceCells * kPieceCells * kMaxLayers <= kMaxPieceValues);
struct PieceBlocks {
  std::vector<int32_t> values;                // the level's value of block i + 1
  std::unordered_map<int32_t, int32_t> local;  // level value -> its block's number, from 1
  int32_t Add(int32_t value) {
    const auto [at, added] = local.emplace(value, static_cast<int32_t>(values.size()) + 1);
    if (added) values.push_back(value);
    return at->second;
  }
};

PieceBlocks BlocksOf(const LevelCells& level, const PiecePlace& place, const AnimatedValues& animated) {
  PieceBlocks blocks;
  for (const std::vector<int32_t>* layer : level.layers)
    for (int y = place.top; y < place.top + place.height; ++y)
      for (int x = place.left; x < place.left + place.width; ++x)
        if (const int32_t value = (*layer)[static_cast<size_t>(y) * level.width + x]; value > 0) blocks.Add(value);
  const size_t shown = blocks.values.size();
  for (size_t i = 0; i < shown; ++i) {
    const auto found = animated.find(blocks.values[i]);
    if (found == animated.end()) continue;
    for (const BlockFrame& frame : found->second->frames)
      if (frame.block > 0 && (blocks.values.size() < kMaxPieceValues || blocks.local.count(frame.block) != 0))
        blocks.Add(frame.block);
  }
  return blocks;
}

// {"blocks": N, "layers": [[...], ...], "animations": [...]}: the cells
// by the piece's own block numbers (0 nothing), each layer's rows a line
// each, and its animated blocks, as view.json lists them, by those numbers
// too (a frame past the piece's room shows nothing).
std::string PieceJson(const LevelCells& level, const PiecePlace& place, const PieceBlocks& blocks,
                      const AnimatedValues& animated) {
  std::string text = "{\"blocks\": ";
  AppendNumber(text, static_cast<int64_t>(blocks.values.size()));
  text += ",\n \"layers\": [";
  for (size_t layer = 0; layer < level.layers.size(); ++layer) {
    text += layer == 0 ? "\n  [" : ",\n  [";
    for (int y = place.top; y < place.top + place.height; ++y) {
      if (y > place.top) text += ",\n   ";
      const int32_t* cell = &(*level.layers[layer])[static_cast<size_t>(y) * level.width + place.left];
      for (int x = 0; x < place.width; ++x) {
        if (x > 0) text += ',';
        AppendNumber(text, cell[x] > 0 ? blocks.local.at(cell[x]) : 0);
      }
    }
    text += "]";
  }
  std::vector<Animation> own;
  for (const int32_t value : blocks.values) {
    const auto found = animated.find(value);
    if (found == animated.end()) continue;
    Animation animation{blocks.local.at(value), found->second->frames};
    for (BlockFrame& frame : animation.frames) {
      const auto local = blocks.local.find(frame.block);
      frame.block = local != blocks.local.end() ? local->second : 0;
    }
    own.push_back(std::move(animation));
  }
  text += "\n ],\n \"animations\": " + AnimationList(own) + "}\n";
  return text;
}

// An SDL_RWops that appends what is written to a vector of bytes: a
// piece's PNG is hashed before it has a name to be written under.
size_t AppendWritten(SDL_RWops* sink, const void* data, size_t size, size_t count) {
  auto* bytes = static_cast<std::vector<uint8_t>*>(sink->hidden.unknown.data1);
  const auto* from = static_cast<const uint8_t*>(data);
  bytes->insert(bytes->end(), from, from + size * count);
  return count;
}
Sint64 NoSize(SDL_RWops*) { return -1; }
Sint64 NoSeek(SDL_RWops*, Sint64, int) { return -1; }
size_t NoRead(SDL_RWops*, void*, size_t, size_t) { return 0; }
int FreeSink(SDL_RWops* sink) {
  SDL_FreeRW(sink);
  return 0;
}

SDL_RWops* SinkInto(std::vector<uint8_t>& bytes) {
  SDL_RWops* sink = SDL_AllocRW();
  if (sink == nullptr) return nullptr;
  sink->size = NoSize;
  sink->seek = NoSeek;
  sink->read = NoRead;
  sink->write = AppendWritten;
  sink->close = FreeSink;
  sink->type = SDL_RWOPS_UNKNOWN;
  sink->hidden.unknown.data1 = &bytes;
  return sink;
}

// The PNG of the values' blocks, kPieceRowBlocks a row, given to the stream
// straight from the blocks, 32 pixels at a time: no picture of the piece is
// ever held whole.
// Deflated at zlib's fastest level looking for repeats: quick, and the same
// bytes for the same blocks. Unfiltered: tile art repeats rows of its
// tiles, which deflate finds as they are; on maps of tile art that made
// pieces 10 to 25 % smaller than after the Sub filter, at every level, and
// quicker.
std::vector<uint8_t> PiecePng(const LevelCells& level, const std::vector<int32_t>& values, const fs::path& path) {
  const size_t count = values.size();
  const size_t columns = std::min<size_t>(count, kPieceRowBlocks), rows = (count + kPieceRowBlocks - 1) / kPieceRowBlocks;
  std::vector<uint8_t> bytes;
  SDL_RWops* sink = SinkInto(bytes);
  if (sink == nullptr) Fail(path, std::string("can't be made: ") + SDL_GetError());
  static const Block kNothing{};
  bool written;
  {
    PngStream png(sink, static_cast<uint32_t>(columns * kBlock), static_cast<uint32_t>(rows * kBlock),
                  PngStream::Search::kRepeats, PngStream::Filter::kNone);
    for (size_t row = 0; row < rows; ++row)
      for (int y = 0; y < kBlock; ++y)
        for (size_t column = 0; column < columns; ++column) {
          const size_t i = row * kPieceRowBlocks + column;
          const size_t value = i < count ? static_cast<size_t>(values[i]) : 0;
          const Block& block = value >= 1 && value <= level.blocks->size() ? (*level.blocks)[value - 1] : kNothing;
          png.Add(reinterpret_cast<const uint8_t*>(&block[static_cast<size_t>(y) * kBlock]), kBlock);
        }
    written = png.Finish();
  }
  SDL_RWclose(sink);
  if (!written) Fail(path, std::string("can't be made: ") + SDL_GetError());
  return bytes;
}

// FNV-1a, 64 bits, continuing from `hash`.
uint64_t Fnv1a(const uint8_t* bytes, size_t size, uint64_t hash = 0xcbf29ce484222325ull) {
  for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 0x100000001b3ull;
  return hash;
}

// "C_R-HASH": the piece's place, and its content as sixteen hexadecimal digits.
std::string PieceName(const PiecePlace& place, const std::string& json, const std::vector<uint8_t>& png) {
  const uint64_t hash =
      Fnv1a(png.data(), png.size(), Fnv1a(reinterpret_cast<const uint8_t*>(json.data()), json.size()));
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016" PRIx64, hash);
  return std::to_string(place.column) + "_" + std::to_string(place.row) + "-" + hex;
}

void WriteBytes(const void* data, size_t size, const fs::path& path) {
  SDL_RWops* file = SDL_RWFromFile(path.u8string().c_str(), "wb");
  if (file == nullptr) Fail(path, std::string("can't be written: ") + SDL_GetError());
  const bool written = SDL_RWwrite(file, data, 1, size) == size;
  if (SDL_RWclose(file) != 0 || !written) Fail(path, std::string("can't be written: ") + SDL_GetError());
}

// Writes the level's pieces that show anything into `folder`; their names,
// row after row.
// Writes the pieces of rows `first`, `first` + `step`, ... of the level into
// `folder`, each row's names into `names`, row after row; counts them in
// `written`.
void WriteRows(const LevelCells& level, const AnimatedValues& animated, const fs::path& folder, int first, int step,
               std::vector<std::vector<std::string>>& names, WrittenPieces& written) {
  for (int row = first; row < static_cast<int>(names.size()); row += step)
    for (int column = 0; column * kPieceCells < level.width; ++column) {
      const PiecePlace place = PlaceOf(level, column, row);
      const PieceBlocks blocks = BlocksOf(level, place, animated);
      if (blocks.values.empty()) continue;  // nothing to show: neither written nor listed
      const std::string json = PieceJson(level, place, blocks, animated);
      const std::vector<uint8_t> png =
          PiecePng(level, blocks.values, folder / (std::to_string(column) + "_" + std::to_string(row)));
      const std::string name = PieceName(place, json, png);
      WriteBytes(json.data(), json.size(), folder / (name + ".json"));
      WriteBytes(png.data(), png.size(), folder / (name + ".png"));
      names[static_cast<size_t>(row)].push_back(name);
      ++written.count;
      written.bytes += static_cast<int64_t>(json.size() + png.size());
    }
}

#if defined(__EMSCRIPTEN__)
int PieceWriters() { return 1; }  // no threads in the page
#else
int PieceWriters() { return std::max(1u, std::thread::hardware_concurrency()); }
#endif

// Writes the level's pieces that show anything into `folder`; their names,
// row after row. Rows are shared out among as many threads as there are
// processors: a big map has hundreds of megabytes of pieces to encode.
std::vector<std::string> WriteLevelPieces(const LevelCells& level, const fs::path& folder, WrittenPieces& written) {
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) Fail(folder, "can't be made: " + error.message());
  const AnimatedValues animated = AnimatedValuesOf(level);
  std::vector<std::vector<std::string>> rows(static_cast<size_t>((level.height + kPieceCells - 1) / kPieceCells));
  const int writers = std::clamp(PieceWriters(), 1, std::max<int>(1, static_cast<int>(rows.size())));
  std::vector<WrittenPieces> counts(static_cast<size_t>(writers));
  {
    // The first share on this thread; a failure on another is thrown by its
    // future, all of them waited for before the level's data goes.
    std::vector<std::future<void>> others;
    for (int writer = 1; writer < writers; ++writer)
      others.push_back(std::async(std::launch::async, [&, writer] {
        WriteRows(level, animated, folder, writer, writers, rows, counts[static_cast<size_t>(writer)]);
      }));
    WriteRows(level, animated, folder, 0, writers, rows, counts[0]);
    for (std::future<void>& other : others) other.get();
  }
  std::vector<std::string> names;
  for (std::vector<std::string>& row : rows) names.insert(names.end(), row.begin(), row.end());
  for (const WrittenPieces& count : counts) {
    written.count += count.count;
    written.bytes += count.bytes;
  }
  return names;
}

// The level's entry in the index.
std::string LevelEntry(const LevelCells& level, const std::vector<std::string>& names) {
  std::string text = "{\"width\": ";
  AppendNumber(text, level.width);
  text += ", \"height\": ";
  AppendNumber(text, level.height);
  text += ", \"layers\": ";
  AppendNumber(text, static_cast<int64_t>(level.layers.size()));
  text += ",\n   \"pieces\": [";
  for (size_t i = 0; i < names.size(); ++i) text += (i == 0 ? "\n    \"" : ",\n    \"") + names[i] + "\"";
  text += "]}";
  return text;
}

}  // namespace

std::string AnimationList(const std::vector<Animation>& animations) {
  std::string text = "[";
  for (size_t i = 0; i < animations.size(); ++i) {
    text += i == 0 ? "\n  {\"tile\": " : ",\n  {\"tile\": ";
    AppendNumber(text, animations[i].tile);
    text += ", \"frames\": [";
    for (size_t k = 0; k < animations[i].frames.size(); ++k) {
      text += k == 0 ? "{\"tile\": " : ", {\"tile\": ";
      AppendNumber(text, animations[i].frames[k].block);
      text += ", \"duration\": ";
      AppendNumber(text, animations[i].frames[k].duration);
      text += "}";
    }
    text += "]}";
  }
  text += animations.empty() ? "]" : "\n ]";
  return text;
}

WrittenLevel WriteMapPieces(const Composition& composition, const fs::path& folder) {
  WrittenLevel map;
  const LevelCells level = MapCells(composition);
  map.entry = LevelEntry(level, WriteLevelPieces(level, folder / "pieces" / "0", map.pieces));
  return map;
}

WrittenPieces WriteZoomPieces(const WrittenLevel& map, const std::vector<ZoomLevel>& levels, const fs::path& folder) {
  WrittenPieces written = map.pieces;
  std::string index = "{\"levels\": [\n  " + map.entry;
  int number = 0;  // of the level last in the index
  for (const ZoomLevel& zoom : levels) {
    for (++number; number < zoom.number; ++number) index += ",\n  null";  // left out by the importer
    const LevelCells level = ZoomCells(zoom);
    index += ",\n  " + LevelEntry(level, WriteLevelPieces(level, folder / "pieces" / std::to_string(number), written));
  }
  index += "\n]}\n";
  WriteBytes(index.data(), index.size(), folder / "pieces" / "index.json");
  return written;
}

}  // namespace importer
