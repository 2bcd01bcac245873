#pragma once
// What both readers do once a part of a file is read: tilesets in order of
// their first gid, tiles in order of id, objects in drawing order (by y,
// unless drawn in the order of the file), objects made from their
// templates, chunks joined.

#include <optional>
#include <string>
#include <vector>

#include "import/model.h"
#include "import/read/linked_files.h"

namespace importer {

void SortTilesets(TilesetList& tilesets);
void SortTiles(Tileset& tileset);
void SortObjects(std::vector<Object>& objects, bool fileOrder);

// The object an instance makes: its own attributes over its template's. An
// instance of a template that can't be read keeps only its name
// (Object::unreadableTemplate), to be counted and left out.
std::optional<Object> MakeObject(const ObjectFields& own, const std::shared_ptr<const Template>& from);

// Chunks of an infinite layer, joined into the one grid that holds them all.
CellGrid JoinChunks(const std::vector<CellGrid>& chunks);

// Why an image-based tileset can't be cut into tiles, or "" when it can.
std::string CutProblem(const Tileset& tileset);

}  // namespace importer
