#include "import/write/stored_png.h"

#include <SDL_image.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "import/write/png_stream.h"

namespace importer {
namespace {

const uint8_t* Row(const SDL_Surface* surface, int y) {
  return static_cast<const uint8_t*>(surface->pixels) + static_cast<ptrdiff_t>(y) * surface->pitch;
}

constexpr int kSampleRows = 1024;  // 384 KiB of a tileset 96 pixels wide

// Runs of 32 rows (a block's) spread evenly over the surface,
// kSampleRows in all, 4 bytes a pixel, back to back.
std::vector<uint8_t> SampleRows(const SDL_Surface* surface) {
  const size_t rowBytes = static_cast<size_t>(surface->w) * 4;
  std::vector<uint8_t> sample;
  sample.reserve(kSampleRows * rowBytes);
  for (int i = 0; i < kSampleRows; ++i) {
    const int y = static_cast<int>(int64_t{i / 32} * (surface->h - 32) / (kSampleRows / 32 - 1)) + i % 32;
    sample.insert(sample.end(), Row(surface, y), Row(surface, y) + rowBytes);
  }
  return sample;
}

// The sample's size deflated at zlib's fastest level, after the Sub filter
// when `sub` (rows of `rowBytes`); 0 when zlib fails.
size_t DeflatedSize(std::vector<uint8_t> sample, size_t rowBytes, bool sub) {
  if (sub)
    for (size_t row = 0; row < sample.size(); row += rowBytes)
      for (size_t i = row + rowBytes - 1; i >= row + 4; --i) sample[i] = static_cast<uint8_t>(sample[i] - sample[i - 4]);
  std::vector<uint8_t> deflated(compressBound(static_cast<uLong>(sample.size())));
  uLongf size = static_cast<uLongf>(deflated.size());
  if (compress2(deflated.data(), &size, sample.data(), static_cast<uLong>(sample.size()), 1) != Z_OK) return 0;
  return size;
}

}  // namespace

bool BarelyCompresses(const SDL_Surface* surface) {
  if (surface->h < kSampleRows) return false;  // small: deflating is quick anyway
  const std::vector<uint8_t> sample = SampleRows(surface);
  const size_t size = DeflatedSize(sample, static_cast<size_t>(surface->w) * 4, false);
  return size * 4 > sample.size() * 3;
}

// Whether a band of rows is worth deflating: the order-0 entropy of its
// bytes after the "Sub" filter, over a sample of its rows, against their
// size. Run-length and Huffman coding (Z_RLE) get about that on noise and
// better on runs; a band it would cut by less than `kWorthDeflating` is
// stored, many times faster (the overview of a map of small random tiles
// is that: deflated it keeps three quarters).
constexpr double kWorthDeflating = 0.3;

bool WorthDeflating(const SDL_Surface* surface, int y0, int rows) {
  constexpr int kEvery = 4;  // of the band's rows, the sample
  const size_t rowBytes = static_cast<size_t>(surface->w) * 4;
  uint32_t counts[4][256] = {};  // four tables: runs of a byte don't wait on one counter
  size_t total = 0;
  for (int r = 0; r < rows; r += kEvery, total += rowBytes) {
    const uint8_t* row = Row(surface, y0 + r);
    for (size_t i = 0; i < std::min<size_t>(4, rowBytes); ++i) ++counts[i][row[i]];
    for (size_t i = 4; i < rowBytes; i += 4)
      for (int c = 0; c < 4; ++c) ++counts[c][static_cast<uint8_t>(row[i + c] - row[i + c - 4])];
  }
  double bits = 0;
  for (int b = 0; b < 256; ++b)
    if (const uint32_t n = counts[0][b] + counts[1][b] + counts[2][b] + counts[3][b]; n > 0)
      bits += double(n) * std::log2(double(total) / double(n));
  return bits < (1 - kWorthDeflating) * 8 * double(total);
}

// How WritePng writes the rows: all stored; each band deflated (after the
// Sub filter, looking for runs) or stored as WorthDeflating finds; or all
// deflated after the filter given, looking for repeats.
enum class Rows { kStored, kQuick, kSub, kUnfiltered };

static bool WritePng(const SDL_Surface* surface, const std::string& path, Rows how) {
  SDL_RWops* file = SDL_RWFromFile(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool written;
  {
    PngStream png(file, static_cast<uint32_t>(surface->w), static_cast<uint32_t>(surface->h),
                  how == Rows::kQuick ? PngStream::Search::kRuns : PngStream::Search::kRepeats,
                  how == Rows::kUnfiltered ? PngStream::Filter::kNone : PngStream::Filter::kSub);
    constexpr int kBand = 32;  // rows
    for (int y0 = 0; y0 < surface->h; y0 += kBand) {
      const int rows = std::min(kBand, surface->h - y0);
      png.Deflate(how == Rows::kQuick ? WorthDeflating(surface, y0, rows) : how != Rows::kStored);
      for (int y = y0; y < y0 + rows; ++y) png.Add(Row(surface, y), static_cast<size_t>(surface->w));
    }
    written = png.Finish();
  }
  if (SDL_RWclose(file) != 0) written = false;
  return written;
}

bool WriteStoredPng(const SDL_Surface* surface, const std::string& path) {
  return WritePng(surface, path, Rows::kStored);
}

bool WriteQuickPng(const SDL_Surface* surface, const std::string& path) {
  return WritePng(surface, path, Rows::kQuick);
}

bool WriteTilesetPng(const SDL_Surface* surface, const std::string& path) {
  if (surface->h < kSampleRows) return IMG_SavePNG(const_cast<SDL_Surface*>(surface), path.c_str()) == 0;
  const std::vector<uint8_t> sample = SampleRows(surface);
  const size_t rowBytes = static_cast<size_t>(surface->w) * 4;
  const size_t unfiltered = DeflatedSize(sample, rowBytes, false), sub = DeflatedSize(sample, rowBytes, true);
  if (std::min(unfiltered, sub) * 4 > sample.size() * 3) return WritePng(surface, path, Rows::kStored);
  return WritePng(surface, path, sub < unfiltered ? Rows::kSub : Rows::kUnfiltered);
}

}  // namespace importer
