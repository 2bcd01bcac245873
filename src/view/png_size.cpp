#include "view/png_size.h"

#include <algorithm>
#include <array>
#include <cstdio>

bool PngSize(const std::string& path, int64_t& width, int64_t& height) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::array<unsigned char, 24> header{};
  const size_t read = std::fread(header.data(), 1, header.size(), file);
  std::fclose(file);
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (read < header.size() || !std::equal(kSignature, kSignature + 8, header.begin())) return false;
  const auto bigEndian = [&header](size_t at) {
    return int64_t{header[at]} << 24 | int64_t{header[at + 1]} << 16 | int64_t{header[at + 2]} << 8 | header[at + 3];
  };
  width = bigEndian(16);
  height = bigEndian(20);
  return true;
}
