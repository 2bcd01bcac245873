#include "import/compose/draw_item.h"

#include <algorithm>
#include <cmath>


namespace importer {

static constexpr double kPi = 3.14159265358979323846;

static double Radians(double degrees) { return degrees * kPi / 180.0; }

// A point turned clockwise by the angle whose cosine and sine are given.
static Point Turn(Point p, Point about, double c, double s) {
  const double dx = p.x - about.x, dy = p.y - about.y;
  return {about.x + dx * c - dy * s, about.y + dx * s + dy * c};
}

// The box as drawn: flipped, its bottom-left corner kept.
static Bounds DrawnBox(const Placement& placement) {
  const bool turned = placement.flips.diagonal;
  const double w = turned ? placement.height : placement.width;
  const double h = turned ? placement.width : placement.height;
  return {placement.left, placement.bottom - h, placement.left + w, placement.bottom};
}

Bounds BoundsOf(const Placement& placement) {
  const Bounds box = DrawnBox(placement);
  if (placement.rotation == 0 && placement.spin == 0) return box;
  const Point centre{(box.left + box.right) / 2, (box.top + box.bottom) / 2};
  const double cs = std::cos(Radians(placement.spin)), ss = std::sin(Radians(placement.spin));
  const double c = std::cos(Radians(placement.rotation)), s = std::sin(Radians(placement.rotation));
  Bounds bounds{INFINITY, INFINITY, -INFINITY, -INFINITY};
  for (const Point corner : {Point{box.left, box.top}, Point{box.right, box.top}, Point{box.left, box.bottom},
                             Point{box.right, box.bottom}}) {
    const Point p = Turn(Turn(corner, centre, cs, ss), {placement.pivotX, placement.pivotY}, c, s);
    bounds = {std::min(bounds.left, p.x), std::min(bounds.top, p.y), std::max(bounds.right, p.x),
              std::max(bounds.bottom, p.y)};
  }
  return bounds;
}

// The source pixel under a box coordinate that grows with the pixel's
// position, or shrinks with it when `mirrored`: the pixel the centre falls
// in, an edge belonging to the pixel before the centre.
static double SourceIndex(double t, bool mirrored) { return mirrored ? std::floor(t) : std::ceil(t) - 1; }

// The separable blend functions of the compositing standard, on 0..1 values.
static double BlendChannel(BlendMode mode, double below, double source) {
  switch (mode) {
    case BlendMode::kMultiply: return below * source;
    case BlendMode::kScreen: return below + source - below * source;
    case BlendMode::kOverlay: return BlendChannel(BlendMode::kHardLight, source, below);
    case BlendMode::kDarken: return std::min(below, source);
    case BlendMode::kLighten: return std::max(below, source);
    case BlendMode::kColorDodge:
      if (below == 0) return 0;
      return source >= 1 ? 1 : std::min(1.0, below / (1 - source));
    case BlendMode::kColorBurn:
      if (below >= 1) return 1;
      return source <= 0 ? 0 : 1 - std::min(1.0, (1 - below) / source);
    case BlendMode::kHardLight:
      return source <= 0.5 ? below * 2 * source : BlendChannel(BlendMode::kScreen, below, 2 * source - 1);
    case BlendMode::kSoftLight: {
      if (source <= 0.5) return below - (1 - 2 * source) * below * (1 - below);
      const double d = below <= 0.25 ? ((16 * below - 12) * below + 4) * below : std::sqrt(below);
      return below + (2 * source - 1) * (d - below);
    }
    case BlendMode::kDifference: return std::fabs(below - source);
    case BlendMode::kExclusion: return below + source - 2 * below * source;
    default: return source;
  }
}

static uint8_t Byte(double value) {
  return static_cast<uint8_t>(std::lround(std::clamp(value, 0.0, 1.0) * 255.0));
}

Pixel Composite(Pixel below, double r, double g, double b, double a, BlendMode mode) {
  const double ab = below.a / 255.0;
  const double cb[3] = {below.r / 255.0, below.g / 255.0, below.b / 255.0};
  const double cs[3] = {r, g, b};
  double out[3];
  double ao;
  if (mode == BlendMode::kAdd) {  // premultiplied sum
    ao = std::min(1.0, a + ab);
    for (int i = 0; i < 3; ++i) out[i] = std::min(1.0, cs[i] * a + cb[i] * ab);
  } else {
    ao = a + ab * (1 - a);
    for (int i = 0; i < 3; ++i) {
      const double mixed = mode == BlendMode::kNormal ? cs[i] : BlendChannel(mode, cb[i], cs[i]);
      out[i] = cs[i] * a * (1 - ab) + cb[i] * ab * (1 - a) + a * ab * mixed;
    }
  }
  if (ao <= 0) return Pixel{};
  return Pixel{Byte(out[0] / ao), Byte(out[1] / ao), Byte(out[2] / ao), Byte(ao)};
}

Pixel SourceOver(Pixel below, Pixel source) {
  // Composite's value times 255 is N / D for each channel: its doubles err
  // by far less than the 1 / (2 D) that a quotient not halfway lies from
  // halfway, so they round as the integers do, but halfway, where they
  // may round either way: there Composite's own answer is taken.
  const uint32_t sa = source.a, ba = below.a, d = sa * 255 + ba * (255 - sa);  // at most 65,025
  const uint32_t s[3] = {source.r, source.g, source.b}, b[3] = {below.r, below.g, below.b};
  uint8_t out[3];
  for (int i = 0; i < 3; ++i) {
    const uint32_t twice = 2 * (s[i] * sa * 255 + b[i] * ba * (255 - sa)) + d;  // 2 N + D < 2^31
    if (twice % (2 * d) == 0)
      return Composite(below, source.r / 255.0, source.g / 255.0, source.b / 255.0, source.a / 255.0,
                       BlendMode::kNormal);
    out[i] = static_cast<uint8_t>(twice / (2 * d));
  }
  return Pixel{out[0], out[1], out[2], static_cast<uint8_t>((2 * d + 255) / 510)};  // never halfway: 2 D + 255 is odd
}

void Draw(const Placement& placement, Block& block, int blockX, int blockY, const Bounds& clip) {
  const Bounds reach = BoundsOf(placement);
  const int x0 = std::max({0, static_cast<int>(std::floor(std::max(reach.left, clip.left))) - blockX});
  const int y0 = std::max({0, static_cast<int>(std::floor(std::max(reach.top, clip.top))) - blockY});
  const int x1 = std::min(kBlock, static_cast<int>(std::ceil(std::min(reach.right, clip.right))) - blockX);
  const int y1 = std::min(kBlock, static_cast<int>(std::ceil(std::min(reach.bottom, clip.bottom))) - blockY);
  if (x0 >= x1 || y0 >= y1 || placement.width <= 0 || placement.height <= 0) return;

  const Bounds box = DrawnBox(placement);
  const double boxW = box.right - box.left, boxH = box.bottom - box.top;
  const bool rotated = placement.rotation != 0, spun = placement.spin != 0;
  const double c = std::cos(Radians(placement.rotation)), s = std::sin(Radians(placement.rotation));
  const double cs = std::cos(Radians(placement.spin)), ss = std::sin(Radians(placement.spin));
  const Point centre{box.left + boxW / 2, box.top + boxH / 2};
  // How box coordinates become source coordinates: stretched, or scaled
  // evenly and centred.
  double scaleX = placement.sourceWidth / placement.width, scaleY = placement.sourceHeight / placement.height;
  double insetX = 0, insetY = 0;
  if (placement.preserveAspect) {
    const double fit = std::min(placement.width / placement.sourceWidth, placement.height / placement.sourceHeight);
    scaleX = scaleY = 1 / fit;
    insetX = (placement.width - placement.sourceWidth * fit) / 2;
    insetY = (placement.height - placement.sourceHeight * fit) / 2;
  }
  // Which source axes run against the box's: a mirrored one counts its
  // pixels from the other edge.
  const Flips& flips = placement.flips;
  const bool mirroredX = flips.diagonal ? flips.vertical : flips.horizontal;
  const bool mirroredY = flips.diagonal ? flips.horizontal : flips.vertical;
  const auto& tint = placement.tint;
  // Where the source pixel is drawn as it is: the colour is neither tinted
  // nor faded, and it covers nothing (or it is opaque and covers by plain
  // "source over"). Composite gives the source pixel back then, to the bit.
  const bool plainColour = !tint && placement.opacity == 1;
  const bool opaqueCovers = plainColour && placement.blend == BlendMode::kNormal;
  auto drawPixel = [&](const Pixel& source, Pixel& below) {
    if (source.a == 0) return;
    if ((plainColour && below.a == 0) || (opaqueCovers && source.a == 255)) {
      below = source;
      return;
    }
    if (opaqueCovers && below.a != 0) {
      below = SourceOver(below, source);
      return;
    }
    double a = source.a / 255.0;
    double r = source.r / 255.0, g = source.g / 255.0, b = source.b / 255.0;
    if (tint) {  // the tint lightens what is half transparent, as the editor does
      r = (*tint)[0] * (r * a + 1 - a);
      g = (*tint)[1] * (g * a + 1 - a);
      b = (*tint)[2] * (b * a + 1 - a);
      a *= (*tint)[3];
    }
    a *= placement.opacity;
    if (a <= 0) return;
    below = Composite(below, r, g, b, a, placement.blend);
  };
  // The source pixel under a box coordinate, or -1 when there is none.
  auto sourceIndex = [](double t, double inset, double scale, bool mirrored, int size) {
    const double k = SourceIndex((t - inset) * scale, mirrored);
    return k < 0 || k >= size ? -1 : static_cast<int>(k);
  };

  if (!rotated && !spun) {
    // Unturned, a column of the block meets one column of the source (one
    // row, flipped diagonally) and a row of the block one row (one column):
    // each is worked out once, with the same steps as pixel by pixel below.
    const bool diagonal = flips.diagonal;
    int fromColumn[kBlock], fromRow[kBlock];
    for (int i = x0; i < x1; ++i) {
      const double x = blockX + i + 0.5, u = x - box.left;
      fromColumn[i] = -1;
      if (x < clip.left || x >= clip.right || u <= 0 || u > boxW) continue;
      const Point unflipped = FlipSource(flips, placement.width, placement.height, {u, 1});
      fromColumn[i] = diagonal ? sourceIndex(unflipped.y, insetY, scaleY, mirroredY, placement.sourceHeight)
                               : sourceIndex(unflipped.x, insetX, scaleX, mirroredX, placement.sourceWidth);
    }
    for (int j = y0; j < y1; ++j) {
      const double y = blockY + j + 0.5, v = y - box.top;
      fromRow[j] = -1;
      if (y < clip.top || y >= clip.bottom || v <= 0 || v > boxH) continue;
      const Point unflipped = FlipSource(flips, placement.width, placement.height, {1, v});
      fromRow[j] = diagonal ? sourceIndex(unflipped.x, insetX, scaleX, mirroredX, placement.sourceWidth)
                            : sourceIndex(unflipped.y, insetY, scaleY, mirroredY, placement.sourceHeight);
    }
    for (int j = y0; j < y1; ++j) {
      if (fromRow[j] < 0) continue;
      for (int i = x0; i < x1; ++i) {
        if (fromColumn[i] < 0) continue;
        const int sx = diagonal ? fromRow[j] : fromColumn[i], sy = diagonal ? fromColumn[i] : fromRow[j];
        drawPixel(placement.image->At(placement.sourceX + sx, placement.sourceY + sy),
                  block[static_cast<size_t>(j) * kBlock + i]);
      }
    }
    return;
  }

  for (int j = y0; j < y1; ++j) {
    for (int i = x0; i < x1; ++i) {
      double x = blockX + i + 0.5, y = blockY + j + 0.5;  // the pixel's centre
      if (x < clip.left || x >= clip.right || y < clip.top || y >= clip.bottom) continue;
      if (rotated) {  // turn back about the pivot, then about the box's centre
        const Point p = Turn({x, y}, {placement.pivotX, placement.pivotY}, c, -s);
        x = p.x, y = p.y;
      }
      if (spun) {
        const Point p = Turn({x, y}, centre, cs, -ss);
        x = p.x, y = p.y;
      }
      // A centre on the box's left or top edge belongs to what lies before
      // it, one on the right or bottom edge to this box: halves round up.
      const double u = x - box.left, v = y - box.top;
      if (u <= 0 || u > boxW || v <= 0 || v > boxH) continue;
      const Point unflipped = FlipSource(placement.flips, placement.width, placement.height, {u, v});
      const int sx = sourceIndex(unflipped.x, insetX, scaleX, mirroredX, placement.sourceWidth);
      const int sy = sourceIndex(unflipped.y, insetY, scaleY, mirroredY, placement.sourceHeight);
      if (sx < 0 || sy < 0) continue;
      drawPixel(placement.image->At(placement.sourceX + sx, placement.sourceY + sy),
                block[static_cast<size_t>(j) * kBlock + i]);
    }
  }
}

}  // namespace importer
