#pragma once
// The one model both readers fill: a map with its tilesets and its tree of
// layers, whatever format it was saved in. Cells and object gids keep their
// flip bits; every position is in map pixels.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace importer {

struct Pixel {
  uint8_t r = 0, g = 0, b = 0, a = 0;
};

struct Image {
  int width = 0, height = 0;
  std::vector<Pixel> pixels;  // row by row
  const Pixel& At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

struct Color {
  uint8_t r = 255, g = 255, b = 255, a = 255;
};

// An image file named in a map, tileset or template, loaded after reading.
struct ImageRef {
  std::string path;          // resolved against the file that names it
  std::string namedIn;       // that file, for messages
  std::optional<Color> transparent;  // the colour key
  std::vector<uint8_t> embedded;     // image file bytes written into the map itself
  std::shared_ptr<const Image> pixels;
  std::string failure;  // why it can't be loaded (no pixels then): what it draws is left out
  bool Given() const { return !path.empty() || !embedded.empty(); }
};

enum class Alignment { kUnspecified, kTopLeft, kTop, kTopRight, kLeft, kCenter, kRight,
                       kBottomLeft, kBottom, kBottomRight };

// One picture of an animated tile: a tile of the same tileset, shown for
// `duration` milliseconds; 0 or less stops the animation there for good.
struct Frame {
  int tileId = 0;
  int duration = 0;
};

struct TileEntry {
  int id = 0;
  ImageRef image;                 // image-collection tiles only
  int x = 0, y = 0, width = 0, height = 0;  // part of that image; 0 size: all of it
  std::vector<Frame> animation;   // none: the tile shows itself
};

struct Tileset {
  std::string file;  // where it is defined, for messages
  // Why its file can't be read: a stand-in that keeps the other tilesets'
  // ids in place and draws nothing.
  std::string unreadable;
  int tileWidth = 0, tileHeight = 0;
  int spacing = 0, margin = 0;
  int offsetX = 0, offsetY = 0;
  Alignment alignment = Alignment::kUnspecified;
  bool gridRenderSize = false;  // tiles on tile layers are drawn at the map's grid size
  bool preserveAspect = false;
  ImageRef image;                   // image-based tilesets
  std::vector<TileEntry> tiles;     // sorted by id
  const TileEntry* Entry(int id) const;
};

struct TilesetRef {
  uint32_t firstGid = 0;
  std::shared_ptr<Tileset> tileset;  // its images are filled in after reading
};
using TilesetList = std::vector<TilesetRef>;  // ascending firstGid

constexpr uint32_t kFlipH = 0x80000000u, kFlipV = 0x40000000u, kFlipD = 0x20000000u;
constexpr uint32_t kTurn120 = 0x10000000u;  // hexagonal maps only; kFlipD turns them by 60°
constexpr uint32_t kGidBits = 0x0FFFFFFFu;  // the id without its four flag bits

// A rectangle of cells; fixed maps start at (0, 0), infinite ones anywhere.
struct CellGrid {
  int x = 0, y = 0, width = 0, height = 0;
  std::vector<uint32_t> gids;  // row by row
  uint32_t At(int cx, int cy) const {
    return gids[static_cast<size_t>(cy - y) * width + (cx - x)];
  }
};

struct Template;  // an object template file (linked_files.h)

struct Object {
  double x = 0, y = 0, width = 0, height = 0, rotation = 0, opacity = 1;
  uint32_t gid = 0;  // 0: a shape, not drawn
  bool visible = true;
  std::shared_ptr<const TilesetList> tilesets;  // those of its template, or null: the map's
  std::shared_ptr<const Template> unreadableTemplate;  // it can't be read: the object is left out
};

enum class LayerKind { kTiles, kObjects, kImage, kGroup };

enum class BlendMode { kNormal, kAdd, kMultiply, kScreen, kOverlay, kDarken, kLighten,
                       kColorDodge, kColorBurn, kHardLight, kSoftLight, kDifference,
                       kExclusion };

struct Layer {
  LayerKind kind = LayerKind::kTiles;
  std::string name;
  bool visible = true;
  double opacity = 1;
  std::optional<Color> tint;
  double offsetX = 0, offsetY = 0;
  BlendMode blend = BlendMode::kNormal;
  CellGrid cells;                 // tile layers
  std::vector<Object> objects;    // object layers, in drawing order
  ImageRef image;                 // image layers
  bool repeatX = false, repeatY = false;
  std::vector<Layer> children;    // groups
};

enum class RenderOrder { kRightDown, kRightUp, kLeftDown, kLeftUp };

enum class Orientation { kOrthogonal, kIsometric, kStaggered, kHexagonal, kOblique };

struct Map {
  std::string file;
  Orientation orientation = Orientation::kOrthogonal;
  RenderOrder renderOrder = RenderOrder::kRightDown;
  int width = 0, height = 0, tileWidth = 0, tileHeight = 0;
  bool infinite = false;
  // Staggered and hexagonal maps: columns shifted instead of rows; the even
  // ones shifted instead of the odd ones; the flat side of a hexagon.
  bool staggerX = false, staggerEven = false;
  int hexSideLength = 0;
  double skewX = 0, skewY = 0;  // oblique maps: pixels per row, per column
  std::optional<Color> background;
  TilesetList tilesets;
  std::vector<Layer> layers;
};

// A map of a world, its top-left corner at (x, y) in the world's pixels.
struct PlacedMap {
  Map map;
  int64_t x = 0, y = 0;
};

// Maps side by side, drawn in order, each over the ones before.
struct World {
  std::string file;
  std::vector<PlacedMap> maps;
  size_t named = 0;  // the maps the world names, those left out too
  // Each map left out because it can't be read, and why: "MAP: problem".
  std::vector<std::string> leftOut;
};

// The tileset a gid's id falls in (flag bits ignored) and the tile's id
// there, or null for 0 and ids below the first tileset.
const Tileset* TilesetOf(const TilesetList& tilesets, uint32_t gid, int64_t& local);

// The tile a gid shows: its image and the part of it, or none.
struct TileImage {
  const Tileset* tileset = nullptr;
  const Image* image = nullptr;
  int x = 0, y = 0, width = 0, height = 0;
};

// The frame an animation shows at `t` ms (t = 0: the first), by the
// editor's walk: a time on a boundary shows the earlier frame, and a frame
// of duration 0 or less stops there. 0 for no frames. Any frames with a
// `duration` in ms: a tile's, or the blocks a cell value shows in turn.
template <typename Frames>
size_t WalkFrames(const Frames& frames, int64_t t) {
  if (frames.empty()) return 0;
  // Once round the cycle (64 bits: a million frames of 2^31 ms fit) when no
  // frame stops it, so that a late time isn't walked frame by frame.
  int64_t cycle = 0;
  for (const auto& frame : frames) {
    if (frame.duration <= 0) {
      cycle = 0;
      break;
    }
    cycle += frame.duration;
  }
  int64_t left = t;
  if (cycle > 0 && left > cycle) left = (left - 1) % cycle + 1;  // a whole cycle shows the last frame
  size_t index = 0;
  while (frames[index].duration > 0 && left > frames[index].duration) {
    left -= frames[index].duration;
    index = index + 1 == frames.size() ? 0 : index + 1;
  }
  return index;
}
inline size_t FrameAt(const std::vector<Frame>& frames, int64_t t) { return WalkFrames(frames, t); }

// The animation of the gid's tile (flag bits ignored), or null when it has
// none.
const std::vector<Frame>* AnimationOf(const TilesetList& tilesets, uint32_t gid);

// Looks the gid up (flag bits ignored) as it shows at `t` ms: an animated
// tile is drawn as its frame then. An id past its tileset's end, or a tile
// without an image, gives an empty TileImage. Images must be loaded.
TileImage ResolveGid(const TilesetList& tilesets, uint32_t gid, int64_t t = 0);
// The same at frame `frame` of the tile's animation (past its end: the
// last); a tile without one shows itself.
TileImage ResolveFrame(const TilesetList& tilesets, uint32_t gid, size_t frame);

}  // namespace importer
