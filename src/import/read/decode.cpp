#include "import/read/decode.h"

#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <string>

#include "import/import_error.h"

namespace importer {

static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

static int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

std::vector<uint8_t> DecodeBase64(std::string_view text) {
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() / 4 * 3);
  uint32_t bits = 0;
  int bitCount = 0, padding = 0;
  for (const char c : text) {
    if (IsSpace(c)) continue;
    if (c == '=') {
      ++padding;
      continue;
    }
    const int value = Base64Value(c);
    if (value < 0 || padding > 0) throw DataError("the base64 data holds a stray character");
    bits = (bits << 6) | static_cast<uint32_t>(value);
    bitCount += 6;
    if (bitCount >= 8) {
      bitCount -= 8;
      bytes.push_back(static_cast<uint8_t>(bits >> bitCount));
    }
  }
  if (padding > 2 || bitCount >= 6) throw DataError("the base64 data is cut short");
  return bytes;
}

// The output grows as the data unpacks, up to one byte more than expected
// (which shows an overlong result), so memory follows the real data.
static void Grow(std::vector<uint8_t>& out, size_t limit) {
  out.resize(std::min(limit, std::max<size_t>(out.size() * 2, 65536)));
}

// zlib and gzip: the inflater tells the two headers apart by itself.
static std::vector<uint8_t> Inflate(const std::vector<uint8_t>& data, size_t expectedSize,
                                    std::string_view name) {
  z_stream stream{};
  if (inflateInit2(&stream, 15 + 32) != Z_OK) throw DataError("zlib could not start");
  const size_t limit = expectedSize + 1;
  std::vector<uint8_t> out;
  stream.next_in = const_cast<Bytef*>(data.data());
  stream.avail_in = static_cast<uInt>(data.size());
  int result = Z_OK;
  size_t produced = 0;
  while (result == Z_OK && produced < limit) {
    Grow(out, limit);
    stream.next_out = out.data() + produced;
    stream.avail_out = static_cast<uInt>(out.size() - produced);
    result = inflate(&stream, Z_NO_FLUSH);
    produced = out.size() - stream.avail_out;
    if (result == Z_BUF_ERROR && stream.avail_out > 0) break;  // input ran out
    if (result == Z_BUF_ERROR) result = Z_OK;
  }
  inflateEnd(&stream);
  if (result != Z_STREAM_END && result != Z_OK && result != Z_BUF_ERROR)
    throw DataError("the " + std::string(name) + " data is corrupt");
  if (result != Z_STREAM_END && produced < limit)
    throw DataError("the " + std::string(name) + " data is cut short");
  out.resize(produced);
  return out;
}

static std::vector<uint8_t> Unzstd(const std::vector<uint8_t>& data, size_t expectedSize) {
  ZSTD_DStream* stream = ZSTD_createDStream();
  if (stream == nullptr) throw DataError("zstd could not start");
  const size_t limit = expectedSize + 1;
  std::vector<uint8_t> out;
  ZSTD_inBuffer in{data.data(), data.size(), 0};
  size_t produced = 0, result = 1;
  while (produced < limit) {
    Grow(out, limit);
    ZSTD_outBuffer sink{out.data(), out.size(), produced};
    result = ZSTD_decompressStream(stream, &sink, &in);
    const bool stalled = sink.pos == produced && in.pos == in.size;
    produced = sink.pos;
    if (ZSTD_isError(result) || result == 0 || stalled) break;
  }
  ZSTD_freeDStream(stream);
  if (ZSTD_isError(result)) throw DataError("the zstd data is corrupt");
  if (result != 0 && produced < limit) throw DataError("the zstd data is cut short");
  out.resize(produced);
  return out;
}

std::vector<uint8_t> Decompress(std::vector<uint8_t> data, std::string_view compression,
                                size_t expectedSize) {
  if (compression.empty()) return data;
  if (compression == "zlib" || compression == "gzip")
    return Inflate(data, expectedSize, compression);
  if (compression == "zstd") return Unzstd(data, expectedSize);
  throw DataError("unknown compression \"" + std::string(compression) + "\"");
}

std::vector<uint32_t> ParseCsv(std::string_view text, size_t count) {
  std::vector<uint32_t> gids;
  gids.reserve(count);
  size_t i = 0;
  auto skipSpace = [&] {
    while (i < text.size() && IsSpace(text[i])) ++i;
  };
  skipSpace();
  while (i < text.size()) {
    uint64_t value = 0;  // wider than a gid, to see one that overflows
    const size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && value <= 0xFFFFFFFFu)
      value = value * 10 + static_cast<uint64_t>(text[i++] - '0');
    if (i == start || value > 0xFFFFFFFFu)
      throw DataError("the CSV data holds something that is not a tile id");
    if (gids.size() == count) throw DataError("the CSV data has more than " + std::to_string(count) + " values");
    gids.push_back(static_cast<uint32_t>(value));
    skipSpace();
    if (i < text.size()) {
      if (text[i] != ',') throw DataError("the CSV data holds something that is not a tile id");
      ++i;
      skipSpace();
    }
  }
  if (gids.size() != count)
    throw DataError("the CSV data has " + std::to_string(gids.size()) + " values, not " +
                    std::to_string(count));
  return gids;
}

std::vector<uint32_t> DecodeCells(std::string_view text, std::string_view encoding,
                                  std::string_view compression, size_t count) {
  if (encoding == "csv") {
    if (!compression.empty()) throw DataError("CSV data can't be compressed");
    return ParseCsv(text, count);
  }
  if (encoding != "base64") throw DataError("unknown encoding \"" + std::string(encoding) + "\"");
  const std::vector<uint8_t> bytes = Decompress(DecodeBase64(text), compression, 4 * count);
  if (bytes.size() != 4 * count)
    throw DataError("the data holds " + std::to_string(bytes.size()) + " bytes, not the " +
                    std::to_string(4 * count) + " of " + std::to_string(count) + " cells");
  std::vector<uint32_t> gids(count);
  for (size_t k = 0; k < count; ++k)
    gids[k] = uint32_t{bytes[4 * k]} | uint32_t{bytes[4 * k + 1]} << 8 |
              uint32_t{bytes[4 * k + 2]} << 16 | uint32_t{bytes[4 * k + 3]} << 24;
  return gids;
}

}  // namespace importer
