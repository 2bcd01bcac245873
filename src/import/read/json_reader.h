#pragma once
// The editor's JSON format: .tmj/.json maps, .tsj/.json tilesets, .tj
// templates.

#include <memory>
#include <string>

#include "import/read/read_map.h"

namespace importer {

Map ReadJsonMap(ReadContext& context, const std::string& text, const std::string& path);
std::shared_ptr<Tileset> ReadJsonTileset(ReadContext& context, const std::string& text,
                                               const std::string& path);
Template ReadJsonTemplate(ReadContext& context, const std::string& text, const std::string& path);

}  // namespace importer
