#include "import/write/writer.h"

#include <SDL.h>
#include <jansson.h>

#include <array>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <future>
#include <random>
#include <system_error>
#include <utility>

#include "import/import_error.h"
#include "import/write/overview.h"
#include "import/write/pieces.h"
#include "import/write/stored_png.h"
#include "import/write/zoom_files.h"
#include "import/write/zoom_levels.h"

namespace importer {
namespace {

namespace fs = std::filesystem;

constexpr int kTilesetColumns = 3;

[[noreturn]] void Fail(const fs::path& path, const std::string& problem) {
  throw ImportError(Where(path.u8string()) + problem);
}

void WriteTileset(const Composition& composition, const fs::path& path) {
  const int count = static_cast<int>(composition.blocks.size());
  const int rows = std::max(1, (count + kTilesetColumns - 1) / kTilesetColumns);
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, kTilesetColumns * kBlock, rows * kBlock, 32,
                                                        SDL_PIXELFORMAT_RGBA32);
  if (surface == nullptr) Fail(path, std::string("can't be made: ") + SDL_GetError());
  SDL_FillRect(surface, nullptr, 0);
  for (int i = 0; i < count; ++i) {
    const Block& block = composition.blocks[static_cast<size_t>(i)];
    auto* pixels = static_cast<uint8_t*>(surface->pixels);
    for (int y = 0; y < kBlock; ++y)
      std::memcpy(pixels + static_cast<ptrdiff_t>(i / kTilesetColumns * kBlock + y) * surface->pitch +
                      static_cast<ptrdiff_t>(i % kTilesetColumns * kBlock) * 4,
                  &block[static_cast<size_t>(y) * kBlock], kBlock * 4);
  }
  const bool written = WriteTilesetPng(surface, path.u8string());
  SDL_FreeSurface(surface);
  if (!written) Fail(path, std::string("can't be written: ") + SDL_GetError());
}

// A layer's name as a JSON string; names that aren't UTF-8 are replaced.
std::string JsonName(const std::string& name, size_t index) {
  json_t* value = json_string(name.c_str());
  if (value == nullptr) value = json_string(("layer " + std::to_string(index + 1)).c_str());
  char* text = json_dumps(value, JSON_ENCODE_ANY);
  std::string quoted = text != nullptr ? text : "\"layer\"";
  free(text);
  json_decref(value);
  return quoted;
}

// The text of the cell values below 100.
constexpr int kSmall = 100;
struct SmallText {
  char text[2];
  int length;
};
constexpr std::array<SmallText, kSmall> SmallTexts() {
  std::array<SmallText, kSmall> texts{};
  for (int v = 0; v < kSmall; ++v)
    texts[static_cast<size_t>(v)] = v < 10 ? SmallText{{char('0' + v), 0}, 1}
                                           : SmallText{{char('0' + v / 10), char('0' + v % 10)}, 2};
  return texts;
}
constexpr std::array<SmallText, kSmall> kSmallText = SmallTexts();

// main.json, one row of cells a line; written as it goes, since a big map
// has millions of cells.
void WriteMap(const Composition& composition, const fs::path& path) {
  SDL_RWops* file = SDL_RWFromFile(path.u8string().c_str(), "wb");
  if (file == nullptr) Fail(path, std::string("can't be written: ") + SDL_GetError());
  std::string buffer;
  bool failed = false;
  auto flush = [&] {
    if (!buffer.empty() && SDL_RWwrite(file, buffer.data(), 1, buffer.size()) != buffer.size()) failed = true;
    buffer.clear();
  };
  buffer += "{\"tilewidth\": 32, \"tileheight\": 32, \"width\": " + std::to_string(composition.width) +
            ", \"height\": " + std::to_string(composition.height) + ",\n \"layers\": [";
  // A row's numbers are made here and then appended: growing the buffer
  // for each row would clear a row's worst case first.
  std::vector<char> row(static_cast<size_t>(composition.width) * 12);
  for (size_t i = 0; i < composition.layers.size(); ++i) {
    buffer += i == 0 ? "\n" : ",\n";
    buffer += "  {\"name\": " + JsonName(composition.layerNames[i], i) + ", \"data\": [";
    const int32_t* cell = composition.layers[i].data();
    for (int y = 0; y < composition.height; ++y) {
      buffer += y == 0 ? "\n   " : ",\n   ";
      // This is most of the writing. Most cells are empty (0) or show one
      // of the first blocks: their text is copied from a table, two
      // characters whatever its length (no guess of the processor's to go
      // wrong), and the end moved by its length.
      char* end = row.data();
      for (int x = 0; x < composition.width; ++x, ++cell) {
        if (x > 0) *end++ = ',';
        if (*cell >= 0 && *cell < kSmall) {
          std::memcpy(end, kSmallText[*cell].text, 2);
          end += kSmallText[*cell].length;
        } else {
          end = std::to_chars(end, end + 11, *cell).ptr;
        }
      }
      buffer.append(row.data(), end);
      if (buffer.size() > (1 << 20)) flush();
    }
    buffer += "]}";
  }
  buffer += "\n ]\n}\n";
  flush();
  if (SDL_RWclose(file) != 0) failed = true;
  if (failed) Fail(path, std::string("can't be written: ") + SDL_GetError());
}

// overview.png: the whole picture, small (overview.h).
void WriteOverview(const Overview& overview, const fs::path& path) {
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(
      const_cast<Pixel*>(overview.pixels.data()), overview.width, overview.height, 32, overview.width * 4,
      SDL_PIXELFORMAT_RGBA32);
  if (surface == nullptr) Fail(path, std::string("can't be made: ") + SDL_GetError());
  const bool written = WriteQuickPng(surface, path.u8string());
  SDL_FreeSurface(surface);
  if (!written) Fail(path, std::string("can't be written: ") + SDL_GetError());
}

// The zoom levels written: the first and the last (0, 0: none), and the
// pieces of every level when they were asked for.
struct WrittenLevels {
  int first = 0, last = 0;
  WrittenPieces pieces;
};

// view.json: each animated cell value and the blocks it shows in turn, the
// overview and the rectangle of map pixels it shows, and where the view starts:
// {"animations": [{"tile": N, "frames": [{"tile": A, "duration": MS}, ...]}, ...],
//  "overview": {"image": "overview.png", "x": X, "y": Y, "width": W, "height": H},
//  "start": {"x": X, "y": Y}, "zoom": {"levels": L, "first": F}, "pieces": true}:
// "zoom" when there are levels (zoom_files.h), levels F (1 when left out)
// to L; "pieces" when the map was written in pieces too (pieces.h).
void WriteView(const Composition& composition, const WrittenLevels& levels, bool pieces, const fs::path& path) {
  std::string text = "{\"animations\": " + AnimationList(composition.animations) + ",\n";
  text += " \"overview\": {\"image\": \"overview.png\", \"x\": " + std::to_string(composition.placedX) +
          ", \"y\": " + std::to_string(composition.placedY) + ", \"width\": " +
          std::to_string(composition.picture.width) + ", \"height\": " + std::to_string(composition.picture.height) +
          "},\n \"start\": {\"x\": " + std::to_string(composition.startX) + ", \"y\": " +
          std::to_string(composition.startY) + "}";
  if (levels.last > 0) {
    text += ",\n \"zoom\": {\"levels\": " + std::to_string(levels.last) +
            (levels.first > 1 ? ", \"first\": " + std::to_string(levels.first) : std::string()) + "}";
  }
  if (pieces) text += ",\n \"pieces\": true";
  text += "\n}\n";
  SDL_RWops* file = SDL_RWFromFile(path.u8string().c_str(), "wb");
  if (file == nullptr) Fail(path, std::string("can't be written: ") + SDL_GetError());
  const bool written = SDL_RWwrite(file, text.data(), 1, text.size()) == text.size();
  if (SDL_RWclose(file) != 0 || !written) Fail(path, std::string("can't be written: ") + SDL_GetError());
}

// An earlier import: a folder with nothing in it but its files.
bool IsEarlierImport(const fs::path& folder) {
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().u8string();
    if (name != "final.png" && name != "main.json" && name != "view.json" && name != "overview.png" &&
        name != "zoom" && name != "pieces")
      return false;
  }
  return !error;
}

#if defined(__EMSCRIPTEN__)
constexpr std::launch kOnAThread = std::launch::deferred;  // no threads: when it is waited for
#else
constexpr std::launch kOnAThread = std::launch::async;
#endif

// The zoom levels, made once, written whole into zoom/ and, when `pieces`,
// in pieces into pieces/ with the map itself, whose pieces are written on a
// thread of their own meanwhile (a failure leaves the thread ended: the
// future waits for it as it goes).
WrittenLevels WriteLevels(const Composition& composition, bool pieces, const fs::path& folder) {
  std::future<WrittenLevel> map;
  if (pieces) map = std::async(kOnAThread, [&composition, &folder] { return WriteMapPieces(composition, folder); });
  const std::vector<ZoomLevel> levels = MakeZoomLevels(composition);
  WriteZoomLevels(levels, folder);
  WrittenLevels written;
  if (!levels.empty()) written.first = levels.front().number, written.last = levels.back().number;
  if (pieces) written.pieces = WriteZoomPieces(map.get(), levels, folder);
  return written;
}

// The four files, the zoom levels and the pieces into `folder`. overview.png
// and the levels need nothing but the composition: where there are threads,
// each is made and written on a thread of its own while final.png and
// main.json are; view.json, which names the levels, comes last.
WrittenPieces WriteFiles(const Composition& composition, bool pieces, const fs::path& folder) {
#if defined(__EMSCRIPTEN__)
  WriteTileset(composition, folder / "final.png");
  WriteMap(composition, folder / "main.json");
  WriteOverview(MakeOverview(composition), folder / "overview.png");
  const WrittenLevels written = WriteLevels(composition, pieces, folder);
  WriteView(composition, written, pieces, folder / "view.json");
  return written.pieces;
#else
  std::future<void> overview = std::async(std::launch::async, [&composition, &folder] {
    WriteOverview(MakeOverview(composition), folder / "overview.png");
  });
  std::future<WrittenLevels> levels = std::async(
      std::launch::async, [&composition, pieces, &folder] { return WriteLevels(composition, pieces, folder); });
  try {
    WriteTileset(composition, folder / "final.png");
    WriteMap(composition, folder / "main.json");
  } catch (...) {
    overview.wait();  // done with the folder before it is removed
    levels.wait();
    throw;
  }
  overview.get();  // their failures, if any, thrown here
  const WrittenLevels written = levels.get();
  WriteView(composition, written, pieces, folder / "view.json");
  return written.pieces;
#endif
}

}  // namespace

void CheckOutputFile(const std::string& path) {
  const fs::path target = fs::u8path(path);
  std::error_code error;
  if (fs::is_directory(target, error)) throw ImportError(Where(path) + "is a folder");
  if (!target.parent_path().empty() && !fs::is_directory(target.parent_path(), error))
    throw ImportError(Where(path) + "can't be written: its folder doesn't exist");
}

fs::path Beside(const fs::path& target, const std::string& purpose) {
  fs::path parent = target.parent_path();
  if (parent.empty()) parent = ".";
  std::random_device device;
  return parent / fs::u8path("." + target.filename().u8string() + "." + purpose + "-" +
                             std::to_string(device() % 1000000000u));
}

WrittenPieces WriteOutput(const Composition& composition, const std::string& folder, bool pieces) {
  const fs::path target = fs::u8path(folder);
  std::error_code error;
  const bool replacing = fs::exists(target, error);
  if (replacing && !fs::is_directory(target, error)) Fail(target, "exists and is not a folder");
  if (replacing && !IsEarlierImport(target))
    Fail(target,
         "already holds other files than final.png, main.json, view.json, overview.png, zoom and pieces; give another "
         "output folder");
  if (!target.parent_path().empty()) fs::create_directories(target.parent_path(), error);
  const fs::path temporary = Beside(target, "writing"), previous = Beside(target, "previous");
  if (!fs::create_directory(temporary, error)) Fail(temporary, "can't be made: " + error.message());
  try {
    const WrittenPieces written = WriteFiles(composition, pieces, temporary);
    if (replacing) {
      fs::rename(target, previous, error);
      if (error) Fail(target, "can't be replaced: " + error.message());
    }
    fs::rename(temporary, target, error);
    if (error) {
      const std::string reason = error.message();
      if (replacing) fs::rename(previous, target, error);  // the earlier import back in its place
      Fail(target, "can't be written: " + reason);
    }
    if (replacing) fs::remove_all(previous, error);
    return written;
  } catch (...) {
    fs::remove_all(temporary, error);
    throw;
  }
}

}  // namespace importer
