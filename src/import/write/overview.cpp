#include "import/write/overview.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#if defined(__SSE2__) && defined(__GNUC__)
#include <emmintrin.h>
#endif

namespace importer {
namespace {

// Premultiplied: red, green and blue times alpha, and alpha, each 0..255;
// four floats worked on at once where the compiler has vectors.
#if defined(__GNUC__)
typedef float Rgba __attribute__((vector_size(16)));
#else
struct Rgba {
  float v[4] = {};
  float& operator[](int c) { return v[c]; }
  float operator[](int c) const { return v[c]; }
  Rgba operator*(float s) const { return {v[0] * s, v[1] * s, v[2] * s, v[3] * s}; }
  Rgba operator*(const Rgba& o) const { return {v[0] * o.v[0], v[1] * o.v[1], v[2] * o.v[2], v[3] * o.v[3]}; }
  Rgba operator+(const Rgba& o) const { return {v[0] + o.v[0], v[1] + o.v[1], v[2] + o.v[2], v[3] + o.v[3]}; }
  Rgba& operator+=(const Rgba& o) { return *this = *this + o; }
};
#endif

Rgba Premultiply(Pixel p) {
  const float a = p.a / 255.f;
  return Rgba{p.r * a, p.g * a, p.b * a, float(p.a)};
}

// `top` drawn over `below`, as the viewer draws its layers.
inline void Over(Rgba& below, const Rgba& top) { below = top + below * (1 - top[3] * (1.f / 255)); }

// Where a stretch of picture pixels [from, to) falls on one axis of the
// overview: at most two overview pixels (the stretch is at most one
// overview pixel long), `first` and the next, each with the share of the
// stretch's average it takes. The part past the picture's end is
// transparent: what the stretch holds is spread over the part inside. A
// stretch outside the picture takes no share (its `first` the nearest end,
// so that `first` never decreases along the axis).
struct Share {
  int first = 0;
  float share0 = 0, share1 = 0;
};

Share ShareOf(int64_t from, int64_t to, int64_t picture, int size) {
  if (from < 0) return {};
  if (from >= picture) return {size - 1, 0, 0};
  const int64_t end = std::min(to, picture);
  // Products of at most 2^37 and 1280: exact in a double, as the reference's.
  const double a = double(from * size) / double(picture), b = double(end * size) / double(picture);
  Share span;
  span.first = std::min(size - 1, static_cast<int>(a));
  const double split = std::min(b, double(span.first + 1));
  const double stretch = double(to - from) / double(end - from);  // 1 unless cut by the picture's end
  span.share0 = float((split - a) * stretch);
  if (span.first + 1 < size) span.share1 = float((b - split) * stretch);
  return span;
}

// The average of each of a block's k × k squares (k < 32), row by row:
// summed in integers (colour times alpha), divided once.
void SquaresOf(const Block& block, int k, Rgba* out) {
  const int side = kBlock / k;
  const float colourScale = 1.f / float(255 * side * side), alphaScale = 1.f / float(side * side);
  for (int q = 0; q < k; ++q)
    for (int p = 0; p < k; ++p) {
      uint32_t r = 0, g = 0, b = 0, a = 0;
      for (int y = q * side; y < (q + 1) * side; ++y)
        for (int x = p * side; x < (p + 1) * side; ++x) {
          const Pixel pixel = block[static_cast<size_t>(y) * kBlock + x];
          r += uint32_t{pixel.r} * pixel.a, g += uint32_t{pixel.g} * pixel.a, b += uint32_t{pixel.b} * pixel.a;
          a += pixel.a;
        }
      out[q * k + p] = Rgba{float(r) * colourScale, float(g) * colourScale, float(b) * colourScale, float(a) * alphaScale};
    }
}

// Rounded to the nearest, 0..255 (halves up, as the reference's floor(v + .5)).
[[maybe_unused]] inline uint8_t Channel(float value) { return static_cast<uint8_t>(std::min(std::max(value, 0.f), 255.f) + 0.5f); }

// A line of the overview's width (and a spare pixel, which takes the shares
// past the last pixel: they are 0) that a row of squares is spread over
// before it goes to the overview's rows, and the pixels it touched.
struct Line {
  std::vector<Rgba> sums;
  int low = 0, high = -1;
};

// A column's Share with its shares made four, one for each channel (no
// spreading them for each square).
struct ColumnShare {
  Rgba share0{}, share1{};
  int first = 0;
};

inline void Add(Rgba* line, const ColumnShare& x, const Rgba& colour) {
  Rgba* at = line + x.first;
  at[0] += colour * x.share0;
  at[1] += colour * x.share1;
}

// The overview's rows being summed: two, as each row of squares falls on
// at most two and they come in order; the rows above them are done, made
// pixels as they go (no sums for the whole overview to fill and go over).
class Rows {
 public:
  explicit Rows(Overview& out) : out_(out), sums_(2 * static_cast<size_t>(out.width), Rgba{}) {}

  // `line` and `other` (the same, for the odd squares of the row) into the
  // rows by their share of each (rows at or after those given before),
  // and emptied.
  void Add(Line& line, Line& other, const Share& y) {
    const int low = std::min(line.low, other.low), high = std::max(line.high, other.high);
    if (high < low) return;
    const int width = out_.width;
    const size_t from = static_cast<size_t>(low), to = std::min<size_t>(size_t(high) + 2, size_t(width));
    Rgba *values = line.sums.data(), *others = other.sums.data();
    if (y.share0 > 0 || y.share1 > 0) {
      while (top_ < y.first) Finish();
      Rgba* row0 = sums_.data() + (top_ % 2) * static_cast<size_t>(width);
      const float share0 = y.share0;
      if (y.share1 > 0 && y.first + 1 < out_.height) {
        Rgba* row1 = sums_.data() + ((top_ + 1) % 2) * static_cast<size_t>(width);
        const float share1 = y.share1;
        for (size_t i = from; i < to; ++i) {
          const Rgba sum = values[i] + others[i];
          row0[i] += sum * share0, row1[i] += sum * share1;
        }
      } else {
        for (size_t i = from; i < to; ++i) row0[i] += (values[i] + others[i]) * share0;
      }
    }
    const size_t end = std::min(to + 1, line.sums.size());  // and the pixel after
    std::fill(values + from, values + end, Rgba{});
    std::fill(others + from, others + end, Rgba{});
    line.low = other.low = width, line.high = other.high = -1;
  }

  // The rows left, made pixels.
  void FinishAll() {
    while (top_ < out_.height) Finish();
  }

 private:
  // The top row made pixels (straight alpha) and emptied: the next row's.
  void Finish() {
    const size_t width = static_cast<size_t>(out_.width);
    Pixel* pixels = out_.pixels.data() + static_cast<size_t>(top_) * width;
    Rgba* sums = sums_.data() + (top_ % 2) * width;
    for (size_t i = 0; i < width; ++i) {  // without branches: most pixels are drawn, some not, at random
      const Rgba sum = sums[i];
      sums[i] = Rgba{};
      const float unmultiply = sum[3] >= 0.5f ? 255 / sum[3] : 0.f;  // 0: alpha rounds to 0, and all with it
#if defined(__SSE2__) && defined(__GNUC__)
      const __m128 scaled = _mm_mul_ps(static_cast<__m128>(sum), _mm_set_ps(unmultiply > 0 ? 1.f : 0.f, unmultiply, unmultiply, unmultiply));
      const __m128 clamped = _mm_min_ps(_mm_max_ps(scaled, _mm_setzero_ps()), _mm_set1_ps(255.f));
      const __m128i rounded = _mm_cvttps_epi32(_mm_add_ps(clamped, _mm_set1_ps(0.5f)));  // halves up
      const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(rounded, rounded), _mm_setzero_si128());
      const uint32_t packed = static_cast<uint32_t>(_mm_cvtsi128_si32(bytes));  // r in the lowest byte
      pixels[i] = {uint8_t(packed), uint8_t(packed >> 8), uint8_t(packed >> 16), uint8_t(packed >> 24)};
#else
      const uint8_t alpha = unmultiply > 0 ? Channel(sum[3]) : 0;
      pixels[i] = {Channel(sum[0] * unmultiply), Channel(sum[1] * unmultiply), Channel(sum[2] * unmultiply), alpha};
#endif
    }
    ++top_;
  }

  Overview& out_;
  std::vector<Rgba> sums_;  // the rows top_ and top_ + 1, the even row first
  int top_ = 0;
};

// The composited squares of each set of values seen in a cell, up to a
// budget of memory: a table by the values, open addressing.
class Composites {
 public:
  Composites(size_t layers, size_t squares) : layers_(layers), squares_(squares) {
    constexpr size_t kBudget = size_t{8} << 20;  // bytes of squares
    limit_ = std::max<size_t>(1, kBudget / (squares * sizeof(Rgba)));
    size_t slots = 64;
    while (slots < 2 * limit_) slots *= 2;
    slots_.assign(slots, -1);
  }

  // The squares kept for `values` (`layers` of them), or nullptr; `make`
  // composites them into the given squares when they are new and there is room.
  template <typename Make>
  const Rgba* Find(const int32_t* values, Make make) {
    uint64_t hash = 0x9E3779B97F4A7C15ull;
    for (size_t i = 0; i < layers_; ++i) hash = (hash ^ uint32_t(values[i])) * 0xBF58476D1CE4E5B9ull;
    hash ^= hash >> 31;
    const size_t mask = slots_.size() - 1;
    for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
      const int32_t index = slots_[slot];
      if (index < 0) {
        if (count_ >= limit_) return nullptr;
        slots_[slot] = static_cast<int32_t>(count_);
        keys_.insert(keys_.end(), values, values + layers_);
        colours_.resize((count_ + 1) * squares_);
        make(&colours_[count_ * squares_]);
        return &colours_[count_++ * squares_];
      }
      if (std::equal(values, values + layers_, &keys_[static_cast<size_t>(index) * layers_]))
        return &colours_[static_cast<size_t>(index) * squares_];
    }
  }

 private:
  size_t layers_, squares_, limit_ = 1, count_ = 0;
  std::vector<int32_t> slots_, keys_;
  std::vector<Rgba> colours_;
};

}  // namespace

OverviewSize OverviewSizeOf(int64_t pictureWidth, int64_t pictureHeight) {
  if (pictureWidth <= 0 || pictureHeight <= 0) return {};
  const double scale = std::min({1.0, double(kOverviewWidth) / double(pictureWidth),
                                 double(kOverviewHeight) / double(pictureHeight)});
  auto side = [&](int64_t length) { return std::max(1, static_cast<int>(std::floor(double(length) * scale + 0.5))); };
  return {side(pictureWidth), side(pictureHeight)};
}

Overview MakeOverview(const Composition& composition) {
  const int64_t pictureWidth = composition.picture.width, pictureHeight = composition.picture.height;
  const OverviewSize size = OverviewSizeOf(pictureWidth, pictureHeight);
  Overview out;
  out.width = size.width, out.height = size.height;
  out.pixels.assign(static_cast<size_t>(out.width) * out.height, Pixel{});
  if (pictureWidth <= 0 || pictureHeight <= 0) return out;
  const int width = out.width, height = out.height;

  // k: pixel by pixel (32) while a block is at least 8 overview pixels wide
  // (at most 16 of the picture's pixels for each overview pixel, then);
  // else squares of at most one overview pixel.
  const double blockSide = kBlock * std::max(double(width) / double(pictureWidth),
                                             double(height) / double(pictureHeight));
  int k = blockSide >= 8 ? kBlock : 1;
  while (k < kBlock && blockSide / k > 1) k *= 2;
  out.squares = k;
  const int side = kBlock / k;
  const size_t perBlock = static_cast<size_t>(k) * k;

  // The cells over the picture: it starts on the grid, at (placedX, placedY).
  const int64_t placedX = composition.placedX, placedY = composition.placedY;
  const int64_t firstColumn = std::max<int64_t>(0, placedX / kBlock);
  const int64_t endColumn = std::min<int64_t>(composition.width, (placedX + pictureWidth + kBlock - 1) / kBlock);
  const int64_t firstRow = std::max<int64_t>(0, placedY / kBlock);
  const int64_t endRow = std::min<int64_t>(composition.height, (placedY + pictureHeight + kBlock - 1) / kBlock);
  if (endColumn <= firstColumn || endRow <= firstRow) return out;
  const size_t layerCount = composition.layers.size();

  // Where each column of squares falls, once for the picture.
  std::vector<ColumnShare> columns(static_cast<size_t>(endColumn - firstColumn) * k);
  for (size_t j = 0; j < columns.size(); ++j) {
    const int64_t from = firstColumn * kBlock - placedX + static_cast<int64_t>(j) * side;
    const Share share = ShareOf(from, from + side, pictureWidth, width);
    columns[j].first = share.first;
    columns[j].share0 = Rgba{share.share0, share.share0, share.share0, share.share0};
    columns[j].share1 = Rgba{share.share1, share.share1, share.share1, share.share1};
  }

  // Each block's squares (k = 32: its pixels, read as they are), after
  // those of value 0, nothing drawn: transparent, so that drawing it over a
  // colour leaves that colour as it is.
  std::vector<Rgba> squares(k < kBlock ? (composition.blocks.size() + 1) * perBlock : 0, Rgba{});
  if (k < kBlock)
    for (size_t block = 0; block < composition.blocks.size(); ++block)
      SquaresOf(composition.blocks[block], k, &squares[(block + 1) * perBlock]);
  auto squaresOf = [&](int32_t value) { return &squares[static_cast<size_t>(value) * perBlock]; };

  // k = 1, few blocks and layers: each set of values a cell can hold
  // composited once, in a table by the values (layer 0's the lowest digit).
  const size_t base = composition.blocks.size() + 1;
  std::vector<Rgba> table;
  if (k == 1 && layerCount > 0) {
    constexpr size_t kMostEntries = size_t{1} << 16;
    size_t entries = 1;
    for (size_t layer = 0; layer < layerCount && entries <= kMostEntries; ++layer) entries *= base;
    const size_t cellCount = static_cast<size_t>(endRow - firstRow) * static_cast<size_t>(endColumn - firstColumn);
    if (entries <= kMostEntries && entries * 8 <= cellCount) {
      table.resize(entries);
      for (size_t entry = 0; entry < entries; ++entry) {
        Rgba colour{};
        for (size_t layer = 0, rest = entry; layer < layerCount; ++layer, rest /= base) Over(colour, squares[rest % base]);
        table[entry] = colour;
      }
    }
  }

  Rows sums(out);
  // A row of squares' lines: its even squares' and its odd squares', so
  // that a square's sums don't wait on the one just before's (they share a
  // pixel, most often).
  std::vector<Line> lines(2 * static_cast<size_t>(k));
  for (Line& line : lines) line.sums.assign(static_cast<size_t>(width) + 1, Rgba{}), line.low = width;
  std::vector<Share> rows(static_cast<size_t>(k));
  std::vector<const int32_t*> cells(layerCount);
  std::vector<int32_t> values(layerCount, 0), previous(layerCount, 0);
  std::vector<Rgba> scratch(perBlock);
  Composites composites(layerCount, perBlock);

  for (int64_t row = firstRow; row < endRow; ++row) {
    const int64_t top = row * kBlock - placedY;  // in the picture's pixels
    for (int q = 0; q < k; ++q) rows[static_cast<size_t>(q)] = ShareOf(top + q * side, top + (q + 1) * side, pictureHeight, height);
    for (size_t layer = 0; layer < layerCount; ++layer)
      cells[layer] = composition.layers[layer].data() + static_cast<size_t>(row) * composition.width;
    const ColumnShare* columnShares = columns.data() - firstColumn * k;

    if (k == 1) {
      // A square a cell, without a branch on what it holds (on a map of
      // small random tiles, nothing would predict it): its colour from the
      // table, or its layers' averages composited (value 0 adds nothing).
      if (rows[0].share0 <= 0 && rows[0].share1 <= 0) continue;
      Line& line = lines[0];
      Rgba* lineSums = line.sums.data();
      if (!table.empty()) {
        for (int64_t column = firstColumn; column < endColumn; ++column) {
          size_t entry = 0;
          for (size_t layer = layerCount; layer-- > 0;) entry = entry * base + static_cast<size_t>(cells[layer][column]);
          Add(lineSums, columnShares[column], table[entry]);
        }
      } else {
        for (int64_t column = firstColumn; column < endColumn; ++column) {
          Rgba colour{};
          for (size_t layer = 0; layer < layerCount; ++layer) Over(colour, *squaresOf(cells[layer][column]));
          Add(lineSums, columnShares[column], colour);
        }
      }
      line.low = columnShares[firstColumn].first, line.high = columnShares[endColumn - 1].first;
      sums.Add(line, lines[1], rows[0]);
      continue;
    }

    // Several squares a cell: its layers' squares composited, kept for each
    // set of values (up to a budget), spread over the lines of the row.
    const Rgba* cellSquares = nullptr;
    size_t drawn = 0;
    std::fill(previous.begin(), previous.end(), 0);  // nothing drawn
    for (int64_t column = firstColumn; column < endColumn; ++column) {
      bool same = true;
      for (size_t layer = 0; layer < layerCount; ++layer) {
        const int32_t value = cells[layer][column];
        same &= value == previous[layer];
        previous[layer] = value;
      }
      if (!same) {
        drawn = 0;
        for (size_t layer = 0; layer < layerCount; ++layer)
          if (previous[layer] > 0) values[drawn++] = previous[layer];
        std::fill(values.begin() + static_cast<ptrdiff_t>(drawn), values.end(), 0);
        auto composite = [&](Rgba* into) {
          for (size_t s = 0; s < perBlock; ++s) into[s] = Rgba{};
          for (size_t i = 0; i < drawn; ++i) {
            if (k < kBlock) {
              const Rgba* top = squaresOf(values[i]);
              for (size_t s = 0; s < perBlock; ++s) Over(into[s], top[s]);
            } else {
              const Block& block = composition.blocks[static_cast<size_t>(values[i] - 1)];
              for (size_t s = 0; s < perBlock; ++s) Over(into[s], Premultiply(block[s]));
            }
          }
        };
        if (drawn == 0) {
          cellSquares = nullptr;
        } else if (drawn == 1 && k < kBlock) {
          cellSquares = squaresOf(values[0]);
        } else if (const Rgba* kept = composites.Find(values.data(), composite); kept != nullptr) {
          cellSquares = kept;
        } else {
          composite(scratch.data());
          cellSquares = scratch.data();
        }
      }
      if (cellSquares == nullptr) continue;
      const ColumnShare* x = columnShares + column * k;
      for (int q = 0; q < k; ++q) {
        if (rows[static_cast<size_t>(q)].share0 <= 0 && rows[static_cast<size_t>(q)].share1 <= 0) continue;
        Line &even = lines[2 * static_cast<size_t>(q)], &odd = lines[2 * static_cast<size_t>(q) + 1];
        Rgba *evenSums = even.sums.data(), *oddSums = odd.sums.data();
        const Rgba* colours = cellSquares + static_cast<size_t>(q) * k;
        for (int p = 0; p < k; p += 2) Add(evenSums, x[p], colours[p]), Add(oddSums, x[p + 1], colours[p + 1]);
        even.low = std::min(even.low, x[0].first), even.high = std::max(even.high, x[k - 1].first);
      }
    }
    for (size_t q = 0; q < static_cast<size_t>(k); ++q) sums.Add(lines[2 * q], lines[2 * q + 1], rows[q]);
  }

  sums.FinishAll();
  return out;
}

}  // namespace importer
