#pragma once
// The editor's JSON format: .tmj/.json maps, .tsj/.json tilesets, .tj
// templates.

#include <memory>
#include <string>

#include "import/read/linked_files.h"

namespace importer {

Map ReadJsonMap(const LinkedFiles& linked, const std::string& text, const std::string& path);
std::shared_ptr<Tileset> ReadJsonTileset(const LinkedFiles& linked, const std::string& text,
                                               const std::string& path);
Template ReadJsonTemplate(const LinkedFiles& linked, const std::string& text, const std::string& path);

}  // namespace importer
