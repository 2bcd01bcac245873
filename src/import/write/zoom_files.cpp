#include "import/write/zoom_files.h"

#include <SDL.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>
#include <system_error>

#include "import/import_error.h"
#include "import/write/png_stream.h"

namespace importer {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const fs::path& path, const std::string& problem) {
  throw ImportError(Where(path.u8string()) + problem);
}

void WriteText(const std::string& text, const fs::path& path) {
  SDL_RWops* file = SDL_RWFromFile(path.u8string().c_str(), "wb");
  if (file == nullptr) Fail(path, std::string("can't be written: ") + SDL_GetError());
  const bool written = SDL_RWwrite(file, text.data(), 1, text.size()) == text.size();
  if (SDL_RWclose(file) != 0 || !written) Fail(path, std::string("can't be written: ") + SDL_GetError());
}

void AppendNumber(std::string& text, int64_t value) {
  char digits[24];
  text.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

std::string LevelText(const ZoomLevel& level) {
  std::string text = "{\"width\": ";
  AppendNumber(text, level.width);
  text += ", \"height\": ";
  AppendNumber(text, level.height);
  text += ", \"blocks\": ";
  AppendNumber(text, static_cast<int64_t>(level.blocks.size()));
  text += ", \"animations\": [";
  for (size_t i = 0; i < level.animations.size(); ++i) {
    text += i == 0 ? "\n  {\"tile\": " : ",\n  {\"tile\": ";
    AppendNumber(text, level.animations[i].tile);
    text += ", \"frames\": [";
    for (size_t k = 0; k < level.animations[i].frames.size(); ++k) {
      text += k == 0 ? "{\"tile\": " : ", {\"tile\": ";
      AppendNumber(text, level.animations[i].frames[k].block);
      text += ", \"duration\": ";
      AppendNumber(text, level.animations[i].frames[k].duration);
      text += "}";
    }
    text += "]}";
  }
  text += "]}\n";
  return text;
}

// At zlib's fastest level, looking for repeats: a level's blocks are
// averaged art, smooth across and alike from one to the next, which this
// packs to 1.3 to 1.5 times what libpng's level 6 does, in a third of the time.
bool WriteDeflatedPng(const SDL_Surface* surface, const fs::path& path) {
  SDL_RWops* file = SDL_RWFromFile(path.u8string().c_str(), "wb");
  if (file == nullptr) return false;
  bool written;
  {
    PngStream png(file, static_cast<uint32_t>(surface->w), static_cast<uint32_t>(surface->h),
                  PngStream::Search::kRepeats);
    for (int y = 0; y < surface->h; ++y)
      png.Add(static_cast<const uint8_t*>(surface->pixels) + static_cast<ptrdiff_t>(y) * surface->pitch,
              static_cast<size_t>(surface->w));
    written = png.Finish();
  }
  return SDL_RWclose(file) == 0 && written;
}

void WritePage(const ZoomLevel& level, size_t first, const fs::path& path) {
  const size_t count = std::min<size_t>(level.blocks.size() - first, kZoomPageBlocks * kZoomPageBlocks);
  const int columns = static_cast<int>(std::min<size_t>(count, kZoomPageBlocks));
  const int rows = static_cast<int>((count + kZoomPageBlocks - 1) / kZoomPageBlocks);
  SDL_Surface* surface =
      SDL_CreateRGBSurfaceWithFormat(0, columns * kBlock, rows * kBlock, 32, SDL_PIXELFORMAT_RGBA32);
  if (surface == nullptr) Fail(path, std::string("can't be made: ") + SDL_GetError());
  SDL_FillRect(surface, nullptr, 0);
  auto* pixels = static_cast<uint8_t*>(surface->pixels);
  for (size_t i = 0; i < count; ++i) {
    const Block& block = level.blocks[first + i];
    const size_t column = i % kZoomPageBlocks, row = i / kZoomPageBlocks;
    for (int y = 0; y < kBlock; ++y)
      std::memcpy(pixels + static_cast<ptrdiff_t>(row * kBlock + y) * surface->pitch +
                      static_cast<ptrdiff_t>(column * kBlock) * 4,
                  &block[static_cast<size_t>(y) * kBlock], kBlock * 4);
  }
  const bool written = WriteDeflatedPng(surface, path);
  SDL_FreeSurface(surface);
  if (!written) Fail(path, std::string("can't be written: ") + SDL_GetError());
}

void WritePiece(const ZoomLevel& level, int column, int row, const fs::path& path) {
  std::string text = "{\"data\": [";
  const int left = column * kZoomPageBlocks, top = row * kZoomPageBlocks;
  const int right = std::min(level.width, left + kZoomPageBlocks), bottom = std::min(level.height, top + kZoomPageBlocks);
  for (int y = top; y < bottom; ++y) {
    text += y == top ? "\n " : ",\n ";
    for (int x = left; x < right; ++x) {
      if (x > left) text += ',';
      AppendNumber(text, level.cells[static_cast<size_t>(y) * level.width + x]);
    }
  }
  text += "]}\n";
  WriteText(text, path);
}

}  // namespace

void WriteZoomLevels(const std::vector<ZoomLevel>& levels, const fs::path& folder) {
  for (size_t index = 0; index < levels.size(); ++index) {
    const ZoomLevel& level = levels[index];
    const fs::path place = folder / "zoom" / std::to_string(level.number);
    std::error_code error;
    fs::create_directories(place, error);
    if (error) Fail(place, "can't be made: " + error.message());
    WriteText(LevelText(level), place / "level.json");
    constexpr size_t kPage = kZoomPageBlocks * kZoomPageBlocks;
    for (size_t first = 0, page = 0; first < level.blocks.size(); first += kPage, ++page)
      WritePage(level, first, place / ("blocks-" + std::to_string(page) + ".png"));
    for (int row = 0; row * kZoomPageBlocks < level.height; ++row)
      for (int column = 0; column * kZoomPageBlocks < level.width; ++column)
        WritePiece(level, column, row, place / (std::to_string(column) + "_" + std::to_string(row) + ".json"));
  }
}

}  // namespace importer
