#include "import/compose/start.h"

#include <algorithm>
#include <array>
#include <vector>

namespace importer {
namespace {

constexpr int64_t kViewWidth = 1280, kViewHeight = 720;

// Where a block has drawn pixels (alpha above 0): row by row, and its box.
struct BlockSpans {
  bool measured = false;
  std::array<int8_t, kBlock> first{}, last{};  // a row without any: first > last
  int top = kBlock, bottom = 0, left = kBlock, right = 0;
};

class DrawnPixels {
 public:
  explicit DrawnPixels(const Composition& composition)
      : composition_(composition), spans_(composition.blocks.size()) {}

  // The box of the drawn pixels that lie within `rect`; empty when none do.
  OutputRect Within(const OutputRect& rect) {
    OutputRect box{INT64_MAX, INT64_MAX, INT64_MIN, INT64_MIN};
    const int64_t firstColumn = std::max<int64_t>(0, rect.left / kBlock);
    const int64_t lastColumn = std::min<int64_t>(composition_.width, (rect.right + kBlock - 1) / kBlock);
    const int64_t firstRow = std::max<int64_t>(0, rect.top / kBlock);
    const int64_t lastRow = std::min<int64_t>(composition_.height, (rect.bottom + kBlock - 1) / kBlock);
    for (const std::vector<int32_t>& layer : composition_.layers)
      for (int64_t row = firstRow; row < lastRow; ++row)
        for (int64_t column = firstColumn; column < lastColumn; ++column) {
          const int32_t value = layer[static_cast<size_t>(row * composition_.width + column)];
          if (value > 0 && static_cast<size_t>(value) <= spans_.size())
            AddBlock(SpansOf(value - 1), column * kBlock, row * kBlock, rect, box);
        }
    return box.Empty() ? OutputRect{} : box;
  }

 private:
  const BlockSpans& SpansOf(int32_t index) {
    BlockSpans& spans = spans_[static_cast<size_t>(index)];
    if (spans.measured) return spans;
    const Block& block = composition_.blocks[static_cast<size_t>(index)];
    for (int y = 0; y < kBlock; ++y) {
      int first = kBlock, last = -1;
      for (int x = 0; x < kBlock; ++x)
        if (block[static_cast<size_t>(y * kBlock + x)].a > 0) first = std::min(first, x), last = x;
      spans.first[static_cast<size_t>(y)] = static_cast<int8_t>(first);
      spans.last[static_cast<size_t>(y)] = static_cast<int8_t>(last);
      if (first <= last) {
        spans.top = std::min(spans.top, y), spans.bottom = y + 1;
        spans.left = std::min(spans.left, first), spans.right = std::max(spans.right, last + 1);
      }
    }
    spans.measured = true;
    return spans;
  }

  // A block whose drawn box lies inside the rectangle adds its box; one
  // across its edge adds what of each row lies inside.
  static void AddBlock(const BlockSpans& spans, int64_t x, int64_t y, const OutputRect& rect, OutputRect& box) {
    if (spans.top >= spans.bottom) return;
    if (x + spans.left >= rect.left && x + spans.right <= rect.right && y + spans.top >= rect.top &&
        y + spans.bottom <= rect.bottom) {
      Extend(box, {x + spans.left, y + spans.top, x + spans.right, y + spans.bottom});
      return;
    }
    for (int row = spans.top; row < spans.bottom; ++row) {
      const size_t r = static_cast<size_t>(row);
      const OutputRect span{std::max(rect.left, x + spans.first[r]), y + row,
                            std::min(rect.right, x + spans.last[r] + 1), y + row + 1};
      if (spans.first[r] <= spans.last[r] && span.top >= rect.top && span.top < rect.bottom && !span.Empty())
        Extend(box, span);
    }
  }

  static void Extend(OutputRect& box, const OutputRect& part) {
    box.left = std::min(box.left, part.left), box.top = std::min(box.top, part.top);
    box.right = std::max(box.right, part.right), box.bottom = std::max(box.bottom, part.bottom);
  }

  const Composition& composition_;
  std::vector<BlockSpans> spans_;  // by block, measured when first met
};

int32_t ToInt32(int64_t value) { return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX)); }

}  // namespace

void PlaceStart(Composition& composition, const OutputRect& within) {
  DrawnPixels drawn(composition);
  OutputRect box = drawn.Within(within);
  if (box.Empty()) box = drawn.Within({0, 0, int64_t{composition.width} * kBlock, int64_t{composition.height} * kBlock});
  if (box.Empty()) return;
  // The rows the window shows, then what is drawn across them.
  const OutputRect rows{box.left, box.top, box.right, std::min(box.bottom, box.top + kViewHeight)};
  const OutputRect across = drawn.Within(rows);
  const int64_t y = box.bottom - box.top <= kViewHeight ? (box.top + box.bottom) / 2 : box.top + kViewHeight / 2;
  const int64_t x =
      across.right - across.left <= kViewWidth ? (across.left + across.right) / 2 : across.left + kViewWidth / 2;
  composition.startX = ToInt32(x);
  composition.startY = ToInt32(y);
}

}  // namespace importer
