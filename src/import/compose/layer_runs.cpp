#include "import/compose/layer_runs.h"

#include <algorithm>
#include <utility>

#include "import/compose/animation.h"
#include "map/layer.h"

namespace importer {

static constexpr size_t kMaxOutputLayers = kMaxLayers;

static bool DrawsSomething(const Scene& scene, const DrawLayer& drawn) {
  if (drawn.background) return true;
  const Layer& layer = *drawn.layer;
  return scene.Drawn(drawn) && (!layer.cells.gids.empty() || !layer.objects.empty() || layer.image.Given());
}

bool IsPlain(const Scene& scene, size_t index) {
  const DrawLayer& drawn = scene.layers[index];
  const Map& map = *scene.MapOf(drawn).map;
  const Layer& layer = *drawn.layer;
  if (drawn.background || map.orientation != Orientation::kOrthogonal || map.tileWidth != kBlock ||
      map.tileHeight != kBlock || layer.kind != LayerKind::kTiles)
    return false;
  const MapPoint origin = scene.MapOf(drawn).origin;  // whole pixels: a map's place in a world
  if ((int64_t(origin.x) - scene.picture.left) % kBlock != 0 || (int64_t(origin.y) - scene.picture.top) % kBlock != 0)
    return false;
  if (drawn.opacity != 1 || drawn.tint || drawn.offsetX != 0 || drawn.offsetY != 0 ||
      layer.blend != BlendMode::kNormal)
    return false;
  // Each tile the cells hold must be a plain 32 x 32 one (flips don't change the size).
  // So must each frame of an animated one.
  for (const uint32_t gid : scene.tileGids[index]) {
    const std::vector<Frame>* frames = AnimationOf(map.tilesets, gid);
    const size_t shown = frames != nullptr ? ShownFrames(*frames) : 1;
    for (size_t frame = 0; frame < shown; ++frame) {
      const TileImage tile = ResolveFrame(map.tilesets, gid, frame);
      const bool plain = tile.image == nullptr || (tile.width == kBlock && tile.height == kBlock &&
                                                   tile.tileset->offsetX == 0 && tile.tileset->offsetY == 0);
      if (!plain) return false;
    }
  }
  return true;
}

// The layers that draw something, in at most three runs, each of which
// becomes one layer of the viewer. Each run is drawn on its own and the
// viewer lays them over each other, which is the same picture: drawing one
// over another ("source over") doesn't care how the draws are grouped. Only
// other blend modes need what lies below them in their own run. Runs are
// joined where that costs the fewest blocks: the sparsest neighbours first,
// so that a dense ground stays alone.
std::vector<std::vector<size_t>> Runs(const Scene& scene) {
  std::vector<std::vector<size_t>> runs;
  std::vector<int64_t> weight;  // the things a run draws
  std::vector<size_t> background;  // a map's background goes into the run of its first layer
  for (size_t i = 0; i < scene.layers.size(); ++i) {
    const DrawLayer& drawn = scene.layers[i];
    if (!DrawsSomething(scene, drawn)) continue;
    if (drawn.background) {
      background.push_back(i);
      continue;
    }
    const Layer& layer = *drawn.layer;
    int64_t things = static_cast<int64_t>(layer.objects.size()) + (layer.image.Given() ? 1 : 0);
    if (layer.kind == LayerKind::kTiles) things += scene.tileCounts[i];
    if (layer.blend != BlendMode::kNormal) {  // it and everything below: one run
      for (size_t k = 1; k < runs.size(); ++k) runs[0].insert(runs[0].end(), runs[k].begin(), runs[k].end());
      for (size_t k = 1; k < weight.size(); ++k) weight[0] += weight[k];
      runs.resize(std::min<size_t>(runs.size(), 1));
      weight.resize(runs.size());
      if (!runs.empty()) {
        runs[0].insert(runs[0].end(), background.begin(), background.end());
        runs[0].push_back(i);
        weight[0] += things;
        background.clear();
        continue;
      }
    }
    background.push_back(i);
    runs.push_back(std::move(background));
    background.clear();
    weight.push_back(things);
  }
  if (!background.empty()) {  // a background under no layer drawn: a run of its own
    runs.push_back(background);
    weight.push_back(0);
  }
  while (runs.size() > kMaxOutputLayers) {
    size_t lightest = 0;  // join run k and k + 1
    for (size_t k = 1; k + 1 < runs.size(); ++k)
      if (weight[k] + weight[k + 1] < weight[lightest] + weight[lightest + 1]) lightest = k;
    runs[lightest].insert(runs[lightest].end(), runs[lightest + 1].begin(), runs[lightest + 1].end());
    weight[lightest] += weight[lightest + 1];
    runs.erase(runs.begin() + static_cast<ptrdiff_t>(lightest) + 1);
    weight.erase(weight.begin() + static_cast<ptrdiff_t>(lightest) + 1);
  }
  return runs;
}

std::string RunName(const Scene& scene, const std::vector<size_t>& run) {
  std::string joined = scene.layers[run.front()].layer->name;
  for (size_t i = 1; i < run.size(); ++i) joined += " + " + scene.layers[run[i]].layer->name;
  return joined.size() <= 120 ? joined
                              : scene.layers[run.front()].layer->name + " + ... + " + scene.layers[run.back()].layer->name;
}

}  // namespace importer
