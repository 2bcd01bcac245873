#include "import/read/values.h"

#include <filesystem>

namespace importer {

static int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<Color> ParseColor(std::string_view text) {
  if (!text.empty() && text[0] == '#') text.remove_prefix(1);
  if (text.size() != 6 && text.size() != 8) return std::nullopt;
  uint8_t bytes[4] = {255, 0, 0, 0};
  const size_t first = text.size() == 8 ? 0 : 1;  // no alpha written: opaque
  for (size_t i = 0; i < text.size() / 2; ++i) {
    const int high = HexDigit(text[2 * i]), low = HexDigit(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes[first + i] = static_cast<uint8_t>(high * 16 + low);
  }
  return Color{bytes[1], bytes[2], bytes[3], bytes[0]};
}

Alignment ParseAlignment(std::string_view text) {
  static const std::pair<std::string_view, Alignment> kNames[] = {
      {"topleft", Alignment::kTopLeft},   {"top", Alignment::kTop},
      {"topright", Alignment::kTopRight}, {"left", Alignment::kLeft},
      {"center", Alignment::kCenter},     {"right", Alignment::kRight},
      {"bottomleft", Alignment::kBottomLeft}, {"bottom", Alignment::kBottom},
      {"bottomright", Alignment::kBottomRight}};
  for (const auto& [name, value] : kNames)
    if (text == name) return value;
  return Alignment::kUnspecified;
}

BlendMode ParseBlendMode(std::string_view text) {
  static const std::pair<std::string_view, BlendMode> kNames[] = {
      {"add", BlendMode::kAdd},           {"multiply", BlendMode::kMultiply},
      {"screen", BlendMode::kScreen},     {"overlay", BlendMode::kOverlay},
      {"darken", BlendMode::kDarken},     {"lighten", BlendMode::kLighten},
      {"color-dodge", BlendMode::kColorDodge}, {"color-burn", BlendMode::kColorBurn},
      {"hard-light", BlendMode::kHardLight},   {"soft-light", BlendMode::kSoftLight},
      {"difference", BlendMode::kDifference},  {"exclusion", BlendMode::kExclusion}};
  for (const auto& [name, value] : kNames)
    if (text == name) return value;
  return BlendMode::kNormal;
}

std::optional<RenderOrder> ParseRenderOrder(std::string_view text) {
  if (text.empty() || text == "right-down") return RenderOrder::kRightDown;
  if (text == "right-up") return RenderOrder::kRightUp;
  if (text == "left-down") return RenderOrder::kLeftDown;
  if (text == "left-up") return RenderOrder::kLeftUp;
  return std::nullopt;
}

std::optional<Orientation> ParseOrientation(std::string_view text) {
  static const std::pair<std::string_view, Orientation> kNames[] = {
      {"orthogonal", Orientation::kOrthogonal}, {"isometric", Orientation::kIsometric},
      {"staggered", Orientation::kStaggered},   {"hexagonal", Orientation::kHexagonal},
      {"oblique", Orientation::kOblique}};
  for (const auto& [name, value] : kNames)
    if (text == name) return value;
  return std::nullopt;
}

std::string ResolvePath(const std::string& file, const std::string& written) {
  namespace fs = std::filesystem;
  const fs::path target = fs::u8path(written);
  if (target.is_absolute()) return target.lexically_normal().u8string();
  return (fs::u8path(file).parent_path() / target).lexically_normal().u8string();
}

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

}  // namespace importer
