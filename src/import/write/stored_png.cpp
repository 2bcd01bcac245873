#include "import/write/stored_png.h"

#include <zlib.h>

#include <algorithm>
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

bool WriteStoredPng(const SDL_Surface* surface, const std::string& path) {
  SDL_RWops* file = SDL_RWFromFile(path.c_str(), "wb");
  if (file == nullptr) return false;
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  PutBigEndian(header, static_cast<uint32_t>(surface->w));
  PutBigEndian(header, static_cast<uint32_t>(surface->h));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits a channel, RGBA, deflate, no filter method, no interlace
  bool written = SDL_RWwrite(file, kSignature, 1, sizeof kSignature) == sizeof kSignature &&
                 WriteChunk(file, "IHDR", header.data(), header.size());

  // The rows, each after its filter byte (0: none), through zlib without
  // compression: a zlib stream of stored blocks, cut into IDAT chunks.
  z_stream stream{};
  written = written && deflateInit(&stream, Z_NO_COMPRESSION) == Z_OK;
  const size_t rowBytes = static_cast<size_t>(surface->w) * 4;
  std::vector<uint8_t> row(rowBytes + 1, 0), out(1 << 20);
  for (int y = 0; written && y <= surface->h; ++y) {
    const bool last = y == surface->h;
    if (!last) std::copy_n(Row(surface, y), rowBytes, row.begin() + 1);
    stream.next_in = row.data();
    stream.avail_in = last ? 0 : static_cast<uInt>(row.size());
    int result = Z_OK;
    do {
      stream.next_out = out.data();
      stream.avail_out = static_cast<uInt>(out.size());
      result = deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
      const size_t produced = out.size() - stream.avail_out;
      if (result == Z_STREAM_ERROR || (produced > 0 && !WriteChunk(file, "IDAT", out.data(), produced)))
        written = false;
    } while (written && (stream.avail_out == 0 || (last && result != Z_STREAM_END)));
  }
  deflateEnd(&stream);
  written = written && WriteChunk(file, "IEND", nullptr, 0);
  if (SDL_RWclose(file) != 0) written = false;
  if (!written) SDL_SetError("writing a PNG file failed");
  return written;
}

}  // namespace importer
