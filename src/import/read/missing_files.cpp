#include "import/read/missing_files.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <unordered_map>
#include <utility>

#include "import/import_error.h"
#include "import/read/linked_files.h"

namespace importer {
namespace {

constexpr size_t kNone = SIZE_MAX;

// What a tile needs that is missing: the files (indices into the list,
// which grows as files are met; an animation's frames may need several),
// and whether nothing of the tile is left to draw (an animated one may keep
// some of its frames).
struct Need {
  std::vector<size_t> files;
  bool whole = false;
};

struct Finder {
  std::vector<MissingFile>& missing;
  std::unordered_map<uint32_t, Need> needsOfMapTiles;  // by gid without its flags

  size_t Entry(const std::string& path, const char* kind, const std::string& problem) {
    for (size_t i = 0; i < missing.size(); ++i)
      if (missing[i].path == path) return i;
    missing.push_back({path, kind, problem});
    return missing.size() - 1;
  }

  size_t ImageFile(const ImageRef& image, const char* kind) {
    if (image.failure.empty()) return kNone;
    const std::string path = image.path.empty() ? "the image data in " + image.namedIn : image.path;
    return Entry(path, kind, Where(image.namedIn) + image.failure);
  }

  size_t TilesetFile(const Tileset& tileset) {
    return tileset.unreadable.empty() ? kNone : Entry(tileset.file, "tileset", tileset.unreadable);
  }

  // Every missing file the tilesets name, whether anything needs it or not.
  void Register(const TilesetList& tilesets) {
    for (const TilesetRef& ref : tilesets) {
      TilesetFile(*ref.tileset);
      ImageFile(ref.tileset->image, "tileset image");
      for (const TileEntry& tile : ref.tileset->tiles) ImageFile(tile.image, "tile image");
    }
  }

  Need NeedOf(const TilesetList& tilesets, uint32_t gid) {
    int64_t local = 0;
    const Tileset* tileset = TilesetOf(tilesets, gid, local);
    if (tileset == nullptr) return {};
    auto one = [](size_t file) { return file == kNone ? Need{} : Need{{file}, true}; };
    if (!tileset->unreadable.empty()) return one(TilesetFile(*tileset));
    if (tileset->image.Given()) return one(ImageFile(tileset->image, "tileset image"));
    const TileEntry* entry = local >= 0 && local <= INT32_MAX ? tileset->Entry(static_cast<int>(local)) : nullptr;
    if (entry == nullptr) return {};
    if (entry->animation.empty()) return one(ImageFile(entry->image, "tile image"));
    Need need{{}, true};  // the frames are tiles of the same tileset, each drawn as itself
    for (const Frame& frame : entry->animation) {
      const TileEntry* shown = tileset->Entry(frame.tileId);
      const size_t file = shown != nullptr ? ImageFile(shown->image, "tile image") : kNone;
      if (file != kNone && std::find(need.files.begin(), need.files.end(), file) == need.files.end())
        need.files.push_back(file);
      need.whole = need.whole && file != kNone;
    }
    return need;  // none of the frames missing: not whole, as a frame without a file cleared it
  }

  const Need& NeedOfMapTile(const TilesetList& tilesets, uint32_t gid) {
    const auto [found, added] = needsOfMapTiles.try_emplace(gid & kGidBits);
    if (added) found->second = NeedOf(tilesets, gid);
    return found->second;
  }

  void Walk(const Map& map, std::vector<Layer>& layers, bool shown) {
    for (Layer& layer : layers) {
      const int64_t drawn = shown && layer.visible ? 1 : 0;
      for (uint32_t& gid : layer.cells.gids) {
        if (gid == 0) continue;
        const Need& need = NeedOfMapTile(map.tilesets, gid);
        for (const size_t file : need.files) missing[file].cells += drawn;
        if (need.whole) gid = 0;
      }
      auto leftOut = [&](const Object& object) {
        if (const std::shared_ptr<const Template>& from = object.unreadableTemplate) {
          missing[Entry(from->file, "template", from->unreadable)].objects += drawn;
          return true;
        }
        if (object.tilesets) Register(*object.tilesets);
        const Need need = NeedOf(object.tilesets ? *object.tilesets : map.tilesets, object.gid);
        for (const size_t file : need.files) missing[file].objects += drawn;
        return need.whole;
      };
      layer.objects.erase(std::remove_if(layer.objects.begin(), layer.objects.end(), leftOut), layer.objects.end());
      if (const size_t file = ImageFile(layer.image, "image"); file != kNone) missing[file].imageLayers += drawn;
      Walk(map, layer.children, drawn != 0);
    }
  }
};

bool Missing(const TilesetList& tilesets) {
  for (const TilesetRef& ref : tilesets) {
    const Tileset& tileset = *ref.tileset;
    if (!tileset.unreadable.empty() || !tileset.image.failure.empty()) return true;
    for (const TileEntry& tile : tileset.tiles)
      if (!tile.image.failure.empty()) return true;
  }
  return false;
}

bool Missing(const std::vector<Layer>& layers) {
  for (const Layer& layer : layers) {
    if (!layer.image.failure.empty() || Missing(layer.children)) return true;
    for (const Object& object : layer.objects)
      if (object.unreadableTemplate != nullptr || (object.tilesets && Missing(*object.tilesets))) return true;
  }
  return false;
}

std::string Counted(int64_t n, const std::string& what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

std::string NameOf(const MissingFile& file) {
  if (file.path.rfind("the image data in ", 0) == 0) return file.path;
  return std::filesystem::u8path(file.path).filename().u8string();
}

}  // namespace

void LeaveOutMissing(Map& map, std::vector<MissingFile>& missing) {
  if (!Missing(map.tilesets) && !Missing(map.layers)) return;  // the cells needn't be walked
  Finder finder{missing, {}};
  finder.Register(map.tilesets);
  finder.Walk(map, map.layers, true);
}

std::string DescribeMissing(const std::vector<MissingFile>& missing) {
  std::vector<std::string> parts;
  std::vector<std::string> kinds;  // of the unused files, in the order first met
  for (const MissingFile& file : missing)
    if (!file.Used() && std::find(kinds.begin(), kinds.end(), file.kind) == kinds.end()) kinds.push_back(file.kind);
  for (const std::string& kind : kinds) {
    std::string names;
    int64_t count = 0;
    for (const MissingFile& file : missing)
      if (!file.Used() && file.kind == kind) names += (count++ == 0 ? "" : ", ") + NameOf(file);
    parts.push_back(Counted(count, kind) + " missing, unused: " + names);
  }
  for (const MissingFile& file : missing) {
    if (!file.Used()) continue;
    std::string undrawn;
    const std::pair<int64_t, const char*> counts[] = {
        {file.cells, "cell"}, {file.objects, "object"}, {file.imageLayers, "image layer"}};
    for (const auto& [n, what] : counts)
      if (n > 0) undrawn += (undrawn.empty() ? "" : " and ") + Counted(n, what);
    parts.push_back(undrawn + " undrawn, " + file.kind + " missing: " + NameOf(file));
  }
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : "; ") + part;
  return text;
}

}  // namespace importer
