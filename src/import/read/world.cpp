#include "import/read/world.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <regex>

#include "import/import_error.h"
#include "import/read/json_fields.h"
#include "import/read/read_map.h"
#include "import/read/values.h"

namespace importer {
namespace {

// Places past this are refused: no picture spans them, and well inside it
// every sum of pixels stays exact in a double.
constexpr int64_t kFarthest = int64_t{1} << 40;

// A capture read as a whole number, or none when it isn't one.
std::optional<int64_t> WholeNumber(const std::string& text) {
  if (text.empty() || text.size() > 18) return std::nullopt;  // 18 digits fit 64 bits
  size_t i = text[0] == '-' || text[0] == '+' ? 1 : 0;
  if (i == text.size()) return std::nullopt;
  for (size_t k = i; k < text.size(); ++k)
    if (!std::isdigit(static_cast<unsigned char>(text[k]))) return std::nullopt;
  return std::strtoll(text.c_str(), nullptr, 10);
}

void CheckPlace(const JsonFile& file, const std::string& map, int64_t x, int64_t y) {
  if (x < -kFarthest || x > kFarthest || y < -kFarthest || y > kFarthest)
    file.Fail("map " + map + " lies at " + std::to_string(x) + ", " + std::to_string(y) +
              ", too far out for any picture");
}

// What keeps a pattern out before the regular-expression library sees it,
// or "": back-references (the library reads their numbers without a bound,
// and a file name has no use for them) and repeat counts past 1000 (each
// repeat is a copy of the expression in memory).
std::string PatternProblem(const std::string& expression) {
  constexpr size_t kLongest = 1000;
  if (expression.size() > kLongest) return "is longer than " + std::to_string(kLongest) + " characters";
  for (size_t i = 0; i < expression.size(); ++i) {
    if (expression[i] == '\\' && i + 1 < expression.size()) {
      if (std::isdigit(static_cast<unsigned char>(expression[i + 1])))
        return "holds a back-reference (\\" + std::string(1, expression[i + 1]) + "), which file names don't need";
      ++i;  // an escaped character stands for itself
      continue;
    }
    if (expression[i] != '{' && expression[i] != ',') continue;
    size_t digits = i + 1;
    while (digits < expression.size() && std::isdigit(static_cast<unsigned char>(expression[digits]))) ++digits;
    if (digits - i - 1 > 4 || (digits > i + 1 && std::stoi(expression.substr(i + 1, digits - i - 1)) > 1000))
      return "repeats something more than 1000 times";
  }
  return "";
}

// The library's own matcher tries every way a pattern can match, which
// some patterns make take forever ("(a+)+b"); libstdc++ has one that follows
// all of them at once, in time that grows with the name only.
#ifdef __GLIBCXX__
constexpr std::regex::flag_type kPatternSyntax = std::regex::ECMAScript | std::regex_constants::__polynomial;
#else
constexpr std::regex::flag_type kPatternSyntax = std::regex::ECMAScript;
#endif

void AddPatternMatches(const Fields& pattern, const std::vector<std::string>& names, const std::string& folderOf,
                       std::vector<WorldEntry>& out) {
  const std::string expression = pattern.RequiredString("regexp");
  if (const std::string problem = PatternProblem(expression); !problem.empty())
    pattern.file.Fail(pattern.owner + "\"regexp\" " + Quoted(expression) + " " + problem);
  std::regex matcher;
  try {
    matcher = std::regex(expression, kPatternSyntax);
  } catch (const std::regex_error& error) {
    pattern.file.Fail(pattern.owner + "\"regexp\" " + Quoted(expression) + " is not a regular expression (" +
                      error.what() + ")");
  }
  if (matcher.mark_count() != 2)
    pattern.file.Fail(pattern.owner + "\"regexp\" " + Quoted(expression) + " has " +
                      std::to_string(matcher.mark_count()) + " captures; a world's pattern needs two, x and y");
  const int64_t multiplierX = pattern.RequiredInt("multiplierX"), multiplierY = pattern.RequiredInt("multiplierY");
  if (multiplierX == 0) pattern.file.Fail(pattern.owner + "\"multiplierX\" can't be 0");
  if (multiplierY == 0) pattern.file.Fail(pattern.owner + "\"multiplierY\" can't be 0");
  const int64_t offsetX = pattern.Int("offsetX"), offsetY = pattern.Int("offsetY");
  for (const std::string& name : names) {
    std::smatch match;
    try {
      if (!std::regex_search(name, match, matcher)) continue;
    } catch (const std::regex_error& error) {  // too complex for the library
      pattern.file.Fail(pattern.owner + "\"regexp\" " + Quoted(expression) + " can't be matched against " + name +
                        " (" + error.what() + ")");
    }
    const std::optional<int64_t> cx = WholeNumber(match[1].str()), cy = WholeNumber(match[2].str());
    if (!cx || !cy) continue;  // the editor takes only numbers for places
    int64_t x = 0, y = 0;
    if (__builtin_mul_overflow(*cx, multiplierX, &x) || __builtin_mul_overflow(*cy, multiplierY, &y))
      pattern.file.Fail("map " + name + " lies too far out for any picture");
    x += offsetX, y += offsetY;  // both within 2^63 − 2^31 now
    CheckPlace(pattern.file, name, x, y);
    out.push_back({ResolvePath(folderOf, name), x, y});
  }
}

}  // namespace

std::vector<WorldEntry> ReadWorldEntries(const std::string& text, const std::string& path,
                                         std::vector<std::string> names) {
  const JsonFile file{path};
  JsonDocument document;
  ParseJson(text, path, document);
  const Fields root{file, document.root, ""};
  if (const std::string type = root.String("type"); !type.empty() && type != "world")
    file.Fail("not a world: its type is " + Quoted(type));
  std::vector<WorldEntry> out;
  if (const json_t* maps = root.Array("maps")) {
    for (size_t i = 0; i < json_array_size(maps); ++i) {
      const json_t* entry = json_array_get(maps, i);
      const Fields map = root.Of(entry, "map " + std::to_string(i + 1) + " of \"maps\": ");
      if (!json_is_object(entry)) file.Fail(map.owner + "should be an object, not " + Kind(entry));
      const std::string name = map.RequiredString("fileName");
      const int64_t x = map.Int("x"), y = map.Int("y");
      CheckPlace(file, name, x, y);
      out.push_back({ResolvePath(path, name), x, y});
    }
  }
  std::sort(names.begin(), names.end());  // byte order, as the files are named
  if (const json_t* patterns = root.Array("patterns")) {
    for (size_t i = 0; i < json_array_size(patterns); ++i) {
      const json_t* entry = json_array_get(patterns, i);
      const Fields pattern = root.Of(entry, "pattern " + std::to_string(i + 1) + ": ");
      if (!json_is_object(entry)) file.Fail(pattern.owner + "should be an object, not " + Kind(entry));
      AddPatternMatches(pattern, names, path, out);
    }
  }
  return out;
}

World ReadWorld(const std::string& path, bool skipUnreadable, bool strict) {
  ReadContext context;
  context.readFile = ReadFile;
  context.strict = strict;
  const std::string text = ReadFile(path, "");
  // The files (not folders) beside the world are what its patterns search.
  std::vector<std::string> names;
  std::error_code error;
  const std::filesystem::path world = std::filesystem::u8path(path);
  const std::filesystem::path folder = world.has_parent_path() ? world.parent_path() : ".";
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
    if (it->is_regular_file(error)) names.push_back(it->path().filename().u8string());

  World out;
  out.file = path;
  const std::vector<WorldEntry> entries = ReadWorldEntries(text, path, names);
  out.named = entries.size();
  for (const WorldEntry& entry : entries) {
    try {
      // Left out, the map is named on its own: its problem needn't name the world.
      const std::string mapText = context.readFile(entry.file, skipUnreadable ? "" : path);
      out.maps.push_back({ReadMapText(context, mapText, entry.file), entry.x, entry.y});
    } catch (const ImportError& failure) {
      if (!skipUnreadable) throw UnreadableMapError(Inside(path, failure).what());
      out.leftOut.push_back(LeftOut(entry.file, failure.what()));
    }
  }
  if (out.maps.empty() && !out.leftOut.empty())
    throw ImportError(Where(path) + "none of its " + std::to_string(out.named) + " maps can be read (" +
                      out.leftOut.front() + ")");
  if (out.maps.empty()) throw ImportError(Where(path) + "the world places no map");
  return out;
}

bool IsWorldFile(const std::string& path) {
  std::string extension = std::filesystem::u8path(path).extension().u8string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".world";
}

}  // namespace importer
