#include "import/write/stored_png.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace importer {
namespace {

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

// One chunk: its length, type, data and the CRC of type and data.
bool WriteChunk(SDL_RWops* file, const char type[4], const uint8_t* data, size_t size) {
  std::vector<uint8_t> head;
  PutBigEndian(head, static_cast<uint32_t>(size));
  head.insert(head.end(), type, type + 4);
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
  if (size > 0) crc = crc32(crc, data, static_cast<uInt>(size));
  std::vector<uint8_t> tail;
  PutBigEndian(tail, static_cast<uint32_t>(crc));
  return SDL_RWwrite(file, head.data(), 1, head.size()) == head.size() &&
         (size == 0 || SDL_RWwrite(file, data, 1, size) == size) &&
         SDL_RWwrite(file, tail.data(), 1, tail.size()) == tail.size();
}

const uint8_t* Row(const SDL_Surface* surface, int y) {
  return static_cast<const uint8_t*>(surface->pixels) + static_cast<ptrdiff_t>(y) * surface->pitch;
}

}  // namespace

bool BarelyCompresses(const SDL_Surface* surface) {
  constexpr int kSampleRows = 1024;  // 384 KiB of a tileset 96 pixels wide
  if (surface->h < kSampleRows) return false;  // small: deflating is quick anyway
  const size_t rowBytes = static_cast<size_t>(surface->w) * 4;
  std::vector<uint8_t> sample;
  sample.reserve(kSampleRows * rowBytes);
  for (int i = 0; i < kSampleRows; ++i) {  // runs of 32 rows (a block's), spread evenly
    const int y = static_cast<int>(int64_t{i / 32} * (surface->h - 32) / (kSampleRows / 32 - 1)) + i % 32;
    sample.insert(sample.end(), Row(surface, y), Row(surface, y) + rowBytes);
  }
  std::vector<uint8_t> deflated(compressBound(static_cast<uLong>(sample.size())));
  uLongf size = static_cast<uLongf>(deflated.size());
  if (compress2(deflated.data(), &size, sample.data(), static_cast<uLong>(sample.size()), 1) != Z_OK) return false;
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

// The rows, each after its filter byte, deflated (`quick`) or stored: when
// `quick`, each band of rows is deflated at zlib's fastest level, runs
// only, each row after filter 1 ("Sub": each byte less the one a pixel
// before, which turns smooth pictures into runs of small numbers), or
// stored, as WorthDeflating finds; stored rows have filter 0 (none).
static bool WritePng(const SDL_Surface* surface, const std::string& path, bool quick) {
  SDL_RWops* file = SDL_RWFromFile(path.c_str(), "wb");
  if (file == nullptr) return false;
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  PutBigEndian(header, static_cast<uint32_t>(surface->w));
  PutBigEndian(header, static_cast<uint32_t>(surface->h));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits a channel, RGBA, deflate, no filter method, no interlace
  bool written = SDL_RWwrite(file, kSignature, 1, sizeof kSignature) == sizeof kSignature &&
                 WriteChunk(file, "IHDR", header.data(), header.size());

  // The rows through zlib, cut into IDAT chunks. Runs of equal bytes only,
  // when deflating: the filtered rows of a smooth picture are mostly that,
  // at a fraction of a full search's time.
  z_stream stream{};
  int level = quick ? 1 : Z_NO_COMPRESSION;
  auto strategy = [](int at) { return at == Z_NO_COMPRESSION ? Z_DEFAULT_STRATEGY : Z_RLE; };
  written = written && deflateInit2(&stream, level, Z_DEFLATED, 15, 8, strategy(level)) == Z_OK;
  std::vector<uint8_t> out(1 << 20);
  // What zlib has made since `out` was last written out, in an IDAT chunk.
  auto drain = [&] {
    const size_t produced = out.size() - stream.avail_out;
    if (produced > 0 && !WriteChunk(file, "IDAT", out.data(), produced)) written = false;
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
  };
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  constexpr int kBand = 32;  // rows
  const size_t rowBytes = static_cast<size_t>(surface->w) * 4, stride = rowBytes + 1;
  std::vector<uint8_t> band(stride * kBand, 0);
  for (int y0 = 0; written && y0 < surface->h; y0 += kBand) {
    const int rows = std::min(kBand, surface->h - y0);
    const int wanted = quick && WorthDeflating(surface, y0, rows) ? 1 : Z_NO_COMPRESSION;
    for (int r = 0; r < rows; ++r) {
      const uint8_t* pixels = Row(surface, y0 + r);
      uint8_t* row = band.data() + static_cast<size_t>(r) * stride;
      if (wanted == Z_NO_COMPRESSION) {
        row[0] = 0;
        std::copy_n(pixels, rowBytes, row + 1);
      } else {
        row[0] = 1;
        std::copy_n(pixels, std::min<size_t>(4, rowBytes), row + 1);
        for (size_t i = 4; i < rowBytes; ++i) row[i + 1] = static_cast<uint8_t>(pixels[i] - pixels[i - 4]);
      }
    }
    // The blocks so far ended, then the next ones made the other way.
    if (wanted != level) drain();
    for (int tries = 0; written && wanted != level && tries < 8; ++tries) {
      const int result = deflateParams(&stream, wanted, strategy(wanted));
      drain();
      if (result == Z_OK) level = wanted;
      else if (result != Z_BUF_ERROR) written = false;
    }
    stream.next_in = band.data();
    stream.avail_in = static_cast<uInt>(stride * static_cast<size_t>(rows));
    while (written && stream.avail_in > 0) {
      if (deflate(&stream, Z_NO_FLUSH) == Z_STREAM_ERROR) written = false;
      if (stream.avail_out == 0) drain();
    }
  }
  for (int result = Z_OK; written && result != Z_STREAM_END;) {
    result = deflate(&stream, Z_FINISH);
    if (result == Z_STREAM_ERROR) written = false;
    drain();
  }
  deflateEnd(&stream);
  written = written && WriteChunk(file, "IEND", nullptr, 0);
  if (SDL_RWclose(file) != 0) written = false;
  if (!written) SDL_SetError("writing a PNG file failed");
  return written;
}

bool WriteStoredPng(const SDL_Surface* surface, const std::string& path) {
  return WritePng(surface, path, false);
}

bool WriteQuickPng(const SDL_Surface* surface, const std::string& path) { return WritePng(surface, path, true); }

}  // namespace importer
