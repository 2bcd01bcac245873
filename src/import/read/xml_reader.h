#pragma once
// The editor's XML format: .tmx maps, .tsx tilesets, .tx templates.

#include <memory>
#include <string>

#include "import/read/linked_files.h"

namespace importer {

Map ReadXmlMap(const LinkedFiles& linked, const std::string& text, const std::string& path);
std::shared_ptr<Tileset> ReadXmlTileset(const LinkedFiles& linked, const std::string& text,
                                              const std::string& path);
Template ReadXmlTemplate(const LinkedFiles& linked, const std::string& text, const std::string& path);

}  // namespace importer
