#pragma once
// The values both formats write the same way: colours, names of modes, paths.

#include <optional>
#include <string>
#include <string_view>

#include "import/model.h"

namespace importer {

// "#RRGGBB", "#AARRGGBB" (alpha first) or the same without "#"; empty or
// malformed gives nothing.
std::optional<Color> ParseColor(std::string_view text);

// Unknown names give the default (the editor ignores what it doesn't know).
Alignment ParseAlignment(std::string_view text);
BlendMode ParseBlendMode(std::string_view text);

// "right-down" and the three others; anything else is an error (nullopt).
std::optional<RenderOrder> ParseRenderOrder(std::string_view text);

// "orthogonal", "isometric", "staggered", "hexagonal", "oblique"; anything
// else is none.
std::optional<Orientation> ParseOrientation(std::string_view text);

// A path written in `file`, taken relative to the folder that file is in
// (absolute paths stay as they are). UTF-8 throughout.
std::string ResolvePath(const std::string& file, const std::string& written);

// The name of a file for messages: the path as given.
std::string Quoted(std::string_view text);

}  // namespace importer
