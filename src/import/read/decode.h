#pragma once
// The encodings a layer's cells are stored in. Pure functions; a malformed
// input throws DataError with the problem in words.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace importer {

// Base64 with any whitespace around or inside it (the editor wraps it).
std::vector<uint8_t> DecodeBase64(std::string_view text);

// Undoes "zlib", "gzip" or "zstd" ("" is no compression). The result must be
// exactly `expectedSize` bytes; decompression stops as soon as it is more,
// so a small input can't grow into a huge one.
std::vector<uint8_t> Decompress(std::vector<uint8_t> data, std::string_view compression,
                                size_t expectedSize);

// Decimal gids separated by commas, whitespace anywhere; exactly `count`.
std::vector<uint32_t> ParseCsv(std::string_view text, size_t count);

// A layer's (or chunk's) text payload: "csv", or "base64" with an optional
// compression, holding exactly `count` little-endian 32-bit gids.
std::vector<uint32_t> DecodeCells(std::string_view text, std::string_view encoding,
                                  std::string_view compression, size_t count);

}  // namespace importer
