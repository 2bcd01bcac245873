#include "import/write/picture.h"

#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <system_error>
#include <vector>

#include "import/import_error.h"
#include "import/write/painter.h"
#include "import/write/png_stream.h"
#include "import/write/writer.h"

namespace importer {
namespace {

namespace fs = std::filesystem;

// Pixels painted at a time: a piece of a row, so that a row of 2^31 - 1
// pixels (8 GiB) is never held.
constexpr int64_t kPiece = 8192;
constexpr int64_t kMostSide = 0x7FFFFFFF;  // PNG's

void WriteWhole(const Painter& painter, PngStream& png, int64_t width, int64_t height) {
  std::vector<Pixel> piece(static_cast<size_t>(std::min(width, kPiece)));
  for (int64_t y = 0; y < height; ++y)
    for (int64_t x = 0; x < width; x += kPiece) {
      const int64_t count = std::min(kPiece, width - x);
      painter.Paint(y, x, count, piece.data());
      png.Add(&piece[0].r, static_cast<size_t>(count));
    }
}

// Each written pixel the average of the divisor × divisor pixels under it
// that lie inside the picture, colours weighted by alpha: summed in
// integers (at most 2^36 pixels of 255 × 255: far inside 64 bits), then
// rounded to the nearest once, as the overview's reference rounds.
void WriteScaled(const Painter& painter, PngStream& png, int64_t width, int64_t height, int64_t divisor) {
  int shift = 0;
  while ((int64_t{1} << shift) < divisor) ++shift;
  const int64_t outWidth = (width - 1) / divisor + 1, outHeight = (height - 1) / divisor + 1;
  const int64_t perRound = std::max<int64_t>(1, kPiece / divisor);  // written pixels summed at once
  std::vector<uint64_t> sums(4 * static_cast<size_t>(std::min(outWidth, perRound)));
  std::vector<Pixel> piece(static_cast<size_t>(std::min(width, kPiece))), out(sums.size() / 4);
  for (int64_t outY = 0; outY < outHeight; ++outY) {
    const int64_t top = outY * divisor, bottom = std::min(height, top + divisor);
    for (int64_t first = 0; first < outWidth; first += perRound) {
      const int64_t last = std::min(outWidth, first + perRound);
      const int64_t left = first * divisor, right = std::min(width, last * divisor);
      std::fill(sums.begin(), sums.end(), 0);
      for (int64_t y = top; y < bottom; ++y)
        for (int64_t x = left; x < right; x += kPiece) {
          const int64_t count = std::min(kPiece, right - x);
          painter.Paint(y, x, count, piece.data());
          for (int64_t i = 0; i < count; ++i) {
            const Pixel p = piece[size_t(i)];
            uint64_t* sum = &sums[4 * size_t(((x + i) >> shift) - first)];
            sum[0] += uint32_t{p.r} * p.a, sum[1] += uint32_t{p.g} * p.a, sum[2] += uint32_t{p.b} * p.a;
            sum[3] += p.a;
          }
        }
      for (int64_t k = first; k < last; ++k) {
        const uint64_t* sum = &sums[4 * size_t(k - first)];
        const uint64_t under = uint64_t(bottom - top) * uint64_t(std::min(width, (k + 1) * divisor) - k * divisor);
        const uint64_t alpha = (2 * sum[3] + under) / (2 * under);
        auto colour = [&](uint64_t c) { return static_cast<uint8_t>((2 * c + sum[3]) / (2 * sum[3])); };
        out[size_t(k - first)] = alpha == 0 ? Pixel{}
                                            : Pixel{colour(sum[0]), colour(sum[1]), colour(sum[2]), uint8_t(alpha)};
      }
      png.Add(&out[0].r, static_cast<size_t>(last - first));
    }
  }
}

}  // namespace

WrittenPicture WritePicture(const Composition& composition, const std::string& path, const PictureOptions& options) {
  const PictureRegion region = options.region.value_or(
      PictureRegion{0, 0, composition.picture.width, composition.picture.height});
  if (options.region) CheckRegion(region, composition, path);
  const int64_t width = region.width, height = region.height;
  const int64_t divisor = std::max<int64_t>(1, options.divisor);
  if (width <= 0 || height <= 0) throw ImportError(Where(path) + "the picture is empty: nothing to write");
  WrittenPicture written{(width - 1) / divisor + 1, (height - 1) / divisor + 1, 0};
  if (written.width > kMostSide || written.height > kMostSide) {
    int64_t enough = divisor;
    while ((width - 1) / enough + 1 > kMostSide || (height - 1) / enough + 1 > kMostSide) enough *= 2;
    throw ImportError(Where(path) + "a picture of " + std::to_string(written.width) + " x " +
                      std::to_string(written.height) + " pixels, more than a PNG holds (" +
                      std::to_string(kMostSide) + " a side); give --scale 1/" + std::to_string(enough));
  }
  CheckOutputFile(path);
  const fs::path target = fs::u8path(path);
  std::error_code error;
  const fs::path temporary = Beside(target, "writing");
  SDL_RWops* file = SDL_RWFromFile(temporary.u8string().c_str(), "wb");
  if (file == nullptr) throw ImportError(Where(path) + "can't be written: " + SDL_GetError());
  bool whole = false;
  try {
    const Painter painter(composition, options.time, region.x, region.y);
    PngStream png(file, static_cast<uint32_t>(written.width), static_cast<uint32_t>(written.height),
                  PngStream::Search::kRepeats);
    if (divisor == 1) WriteWhole(painter, png, width, height);
    else WriteScaled(painter, png, width, height, divisor);
    whole = png.Finish();
  } catch (...) {
    SDL_RWclose(file);
    fs::remove(temporary, error);
    throw;
  }
  if (SDL_RWclose(file) != 0) whole = false;
  std::string problem = whole ? "" : SDL_GetError();
  if (whole) {
    fs::rename(temporary, target, error);  // replaces an earlier file at once, on Windows too (MoveFileEx)
    if (error) problem = error.message();
  }
  if (!problem.empty()) {
    fs::remove(temporary, error);
    throw ImportError(Where(path) + "can't be written: " + problem);
  }
  written.bytes = static_cast<int64_t>(fs::file_size(target, error));
  return written;
}

bool ParseRegion(const std::string& text, PictureRegion& region) {
  int64_t values[4];
  size_t at = 0;
  for (int i = 0; i < 4; ++i) {
    size_t used = 0;
    try {
      values[i] = std::stoll(text.substr(at), &used);
    } catch (const std::exception&) {
      return false;
    }
    at += used;
    if (i < 3 && (at >= text.size() || text[at++] != ',')) return false;
  }
  if (at != text.size()) return false;
  region = {values[0], values[1], values[2], values[3]};
  return true;
}

void CheckRegion(const PictureRegion& r, const Composition& composition, const std::string& file) {
  const int64_t width = composition.picture.width, height = composition.picture.height;
  if (r.width <= 0 || r.height <= 0 || r.x < 0 || r.y < 0 || r.x > width - r.width || r.y > height - r.height)
    throw ImportError(Where(file) + "the region " + std::to_string(r.x) + "," + std::to_string(r.y) + "," +
                      std::to_string(r.width) + "," + std::to_string(r.height) + " is not inside the picture of " +
                      std::to_string(width) + " x " + std::to_string(height) + " pixels");
}

int64_t ScaleDivisor(const std::string& text) {
  if (text == "1") return 1;
  if (text.size() < 3 || text.size() > 21 || text.compare(0, 2, "1/") != 0) return 0;
  int64_t divisor = 0;
  for (size_t i = 2; i < text.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i])) || divisor > (INT64_MAX - 9) / 10) return 0;
    divisor = divisor * 10 + (text[i] - '0');
  }
  return divisor > 0 && (divisor & (divisor - 1)) == 0 ? divisor : 0;  // a power of two
}

bool IsPngPath(const std::string& path) {
  std::string extension = fs::u8path(path).extension().u8string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == ".png";
}

}  // namespace importer
