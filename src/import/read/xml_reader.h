#pragma once
// The editor's XML format: .tmx maps, .tsx tilesets, .tx templates.

#include <memory>
#include <string>

#include "import/read/read_map.h"

namespace importer {

Map ReadXmlMap(ReadContext& context, const std::string& text, const std::string& path);
std::shared_ptr<Tileset> ReadXmlTileset(ReadContext& context, const std::string& text,
                                              const std::string& path);
Template ReadXmlTemplate(ReadContext& context, const std::string& text, const std::string& path);

}  // namespace importer
