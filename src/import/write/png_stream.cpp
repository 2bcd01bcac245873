#include "import/write/png_stream.h"

#include <algorithm>

namespace importer {
namespace {

constexpr size_t kBuffer = size_t{1} << 20;  // bytes, in and out: an IDAT chunk at most

void PutBigEndian(uint8_t* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

// One chunk: its length, type, data and the CRC of type and data.
bool WriteChunk(SDL_RWops* file, const char type[4], const uint8_t* data, size_t size) {
  uint8_t head[8], tail[4];
  PutBigEndian(head, static_cast<uint32_t>(size));
  std::copy_n(type, 4, head + 4);
  uLong crc = crc32(0, head + 4, 4);
  if (size > 0) crc = crc32(crc, data, static_cast<uInt>(size));
  PutBigEndian(tail, static_cast<uint32_t>(crc));
  return SDL_RWwrite(file, head, 1, 8) == 8 && (size == 0 || SDL_RWwrite(file, data, 1, size) == size) &&
         SDL_RWwrite(file, tail, 1, 4) == 4;
}

}  // namespace

PngStream::PngStream(SDL_RWops* file, uint32_t width, uint32_t height, Search search, Filter filter)
    : file_(file), width_(width), height_(height), search_(search), filter_(filter), in_(kBuffer), out_(kBuffer) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  uint8_t header[13] = {};
  PutBigEndian(header, width);
  PutBigEndian(header + 4, height);
  header[8] = 8, header[9] = 6;  // 8 bits a channel, RGBA; deflate, no filter method, no interlace: 0
  constexpr uint32_t kMostSide = 0x7FFFFFFF;  // what PNG allows
  written_ = width >= 1 && width <= kMostSide && height >= 1 && height <= kMostSide &&
             SDL_RWwrite(file, kSignature, 1, sizeof kSignature) == sizeof kSignature &&
             WriteChunk(file, "IHDR", header, sizeof header) &&
             deflateInit2(&stream_, level_, Z_DEFLATED, 15, 8, Strategy(level_)) == Z_OK;
  stream_.next_out = out_.data();
  stream_.avail_out = static_cast<uInt>(out_.size());
}

PngStream::~PngStream() { deflateEnd(&stream_); }

int PngStream::Strategy(int level) const {
  return level == Z_NO_COMPRESSION || search_ == Search::kRepeats ? Z_DEFAULT_STRATEGY : Z_RLE;
}

void PngStream::Drain() {
  const size_t produced = out_.size() - stream_.avail_out;
  if (produced > 0 && written_ && !WriteChunk(file_, "IDAT", out_.data(), produced)) written_ = false;
  stream_.next_out = out_.data();
  stream_.avail_out = static_cast<uInt>(out_.size());
}

void PngStream::Feed(int flush) {
  stream_.next_in = in_.data();
  stream_.avail_in = static_cast<uInt>(inUsed_);
  for (int result = Z_OK; written_ && (stream_.avail_in > 0 || (flush == Z_FINISH && result != Z_STREAM_END));) {
    result = deflate(&stream_, flush);
    if (result == Z_STREAM_ERROR) written_ = false;
    if (stream_.avail_out == 0 || flush == Z_FINISH) Drain();
  }
  inUsed_ = 0;
}

void PngStream::Deflate(bool deflate) {
  const int wanted = deflate ? 1 : Z_NO_COMPRESSION;
  if (wanted == level_ || !written_) return;
  // The blocks so far ended, then the next ones made the other way; zlib
  // asks again while its output has no room for the end.
  Feed(Z_NO_FLUSH);
  Drain();
  for (int tries = 0; written_ && wanted != level_ && tries < 8; ++tries) {
    const int result = deflateParams(&stream_, wanted, Strategy(wanted));
    Drain();
    if (result == Z_OK) level_ = wanted;
    else if (result != Z_BUF_ERROR) written_ = false;
  }
}

void PngStream::Add(const uint8_t* pixels, size_t count) {
  if (row_ >= height_) written_ = false;  // more pixels than the header said
  while (count > 0 && written_) {
    if (inUsed_ + 1 + 4 > in_.size()) Feed(Z_NO_FLUSH);  // room for a filter byte and a pixel at least
    uint8_t* in = in_.data() + inUsed_;
    const bool filtered = level_ != Z_NO_COMPRESSION && filter_ == Filter::kSub;
    if (column_ == 0) {  // a row starts with its filter
      *in++ = filtered ? 1 : 0;
      std::fill_n(before_, 4, 0);
    }
    const size_t room = (in_.data() + in_.size() - in) / 4;
    const size_t n = std::min({count, room, size_t{width_ - column_}});
    if (!filtered) {
      std::copy_n(pixels, 4 * n, in);
    } else if (n > 0) {
      for (int c = 0; c < 4; ++c) in[c] = static_cast<uint8_t>(pixels[c] - before_[c]);
      for (size_t i = 4; i < 4 * n; ++i) in[i] = static_cast<uint8_t>(pixels[i] - pixels[i - 4]);
      std::copy_n(pixels + 4 * (n - 1), 4, before_);
    }
    inUsed_ = static_cast<size_t>(in - in_.data()) + 4 * n;
    pixels += 4 * n, count -= n, column_ += static_cast<uint32_t>(n);
    if (column_ == width_) column_ = 0, ++row_;
  }
}

bool PngStream::Finish() {
  if (written_ && (row_ != height_ || column_ != 0)) {
    SDL_SetError("writing a PNG file failed: %u of its %u rows given", row_, height_);
    return written_ = false;
  }
  Feed(Z_FINISH);
  written_ = written_ && WriteChunk(file_, "IEND", nullptr, 0);
  if (!written_) SDL_SetError("writing a PNG file failed");
  return written_;
}

}  // namespace importer
