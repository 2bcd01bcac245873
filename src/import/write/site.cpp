#include "import/write/site.h"

#include <SDL.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>
#include <vector>

#include "import/import_error.h"

namespace importer {
namespace {

namespace fs = std::filesystem;

const char kIndex[] = "maps.json";
const char kMaps[] = "maps";
// What a built site holds that the page can't start without.
const char* const kPageFiles[] = {"index.html", "page.js", "tilemap-viewer.js", "tilemap-viewer.wasm"};
// What the built site holds that isn't the page's: its demo, and what an
// import into it wrote.
const char* const kNotCopied[] = {"demo", kMaps, kIndex};

[[noreturn]] void Fail(const fs::path& path, const std::string& problem) {
  throw ImportError(path.u8string() + ": " + problem);
}

bool IsBuiltSite(const fs::path& folder) {
  std::error_code error;
  return std::all_of(std::begin(kPageFiles), std::end(kPageFiles),
                     [&](const char* name) { return fs::is_regular_file(folder / name, error); });
}

std::vector<fs::path> PlacesToLook() {
  std::vector<fs::path> places;
  if (char* base = SDL_GetBasePath()) {
    const fs::path program = fs::u8path(base);
    SDL_free(base);
    places.push_back(program / "web");
    places.push_back((program / ".." / "share" / "tilemap-viewer" / "web").lexically_normal());
  }
#ifdef TILEMAP_CHECKOUT_SITE
  places.push_back(fs::u8path(TILEMAP_CHECKOUT_SITE));
#endif
  return places;
}

std::string RandomSuffix() {
  std::random_device device;
  return std::to_string(device() % 1000000000u);
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes(std::istreambuf_iterator<char>(in), {});
  if (!in.good() && !in.eof()) Fail(path, "can't be read");
  return bytes;
}

// A file is written under a temporary name and renamed, so that a server
// showing the site meanwhile never hands out half of it.
void WriteFileWhole(const fs::path& target, const std::string& bytes) {
  const fs::path temporary = target.parent_path() / fs::u8path("." + target.filename().u8string() + ".writing-" +
                                                                RandomSuffix());
  {
    std::ofstream out(temporary, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
      std::error_code ignored;
      fs::remove(temporary, ignored);
      Fail(target, "can't be written");
    }
  }
  std::error_code error;
  fs::rename(temporary, target, error);
  if (error) {  // Windows renames onto an existing file only once it is gone
    fs::remove(target, error);
    fs::rename(temporary, target, error);
  }
  if (error) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    Fail(target, "can't be written: " + error.message());
  }
}

bool IsCopied(const fs::path& relative) {
  const std::string top = relative.begin()->u8string();
  return std::none_of(std::begin(kNotCopied), std::end(kNotCopied), [&](const char* name) { return top == name; });
}

void CopyPageFiles(const fs::path& from, const fs::path& site) {
  std::error_code error;
  for (auto entry = fs::recursive_directory_iterator(from, error); !error && entry != fs::end(entry);
       entry.increment(error)) {
    std::error_code problem;
    const bool folder = entry->is_directory(problem);
    const fs::path relative = entry->path().lexically_relative(from);
    // A site written inside the built one is not copied into itself.
    if (!IsCopied(relative) || fs::equivalent(entry->path(), site, problem)) {
      if (folder) entry.disable_recursion_pending();
      continue;
    }
    const fs::path target = site / relative;
    if (folder) {
      fs::create_directories(target, problem);
      if (problem) Fail(target, "can't be made: " + problem.message());
    } else if (entry->is_regular_file(problem)) {
      const std::string bytes = ReadAll(entry->path());
      const auto size = fs::file_size(target, problem);
      if (!problem && size == bytes.size() && ReadAll(target) == bytes) continue;
      WriteFileWhole(target, bytes);
    }
  }
  if (error) Fail(from, "can't be read: " + error.message());
}

bool IsSiteMapName(const std::string& name) {
  return !name.empty() && name == SiteMapName(name + ".tmx");
}

// The maps the page lists: the folders under maps/ that hold both files.
void WriteIndex(const fs::path& site) {
  std::vector<std::string> names;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(site / kMaps, error)) {
    const std::string name = entry.path().filename().u8string();
    if (IsSiteMapName(name) && fs::is_regular_file(entry.path() / "final.png", error) &&
        fs::is_regular_file(entry.path() / "main.json", error))
      names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  std::string json = "{\"maps\": [";
  for (size_t i = 0; i < names.size(); ++i) json += (i == 0 ? "\"" : ", \"") + names[i] + "\"";  // names need no escapes
  WriteFileWhole(site / kIndex, json + "]}\n");
}

}  // namespace

std::string PrepareSite(const std::string& site) {
  const fs::path folder = fs::u8path(site);
  std::error_code error;
  if (fs::exists(folder, error)) {
    if (!fs::is_directory(folder, error)) Fail(folder, "exists and is not a folder");
    if (!fs::is_empty(folder, error) && !fs::exists(folder / "tilemap-viewer.js", error))
      Fail(folder, "already holds files of another site; give a new or empty folder, or a site written before");
  }
  const std::vector<fs::path> places = PlacesToLook();
  for (const fs::path& place : places) {
    if (IsBuiltSite(place)) return place.u8string();
  }
  std::string looked;
  for (size_t i = 0; i < places.size(); ++i)
    looked += (i == 0 ? "" : i + 1 == places.size() ? " and " : ", ") + places[i].u8string();
  throw ImportError("the web page and programs to put in a site are missing (looked in " + looked +
                    "): build them with scripts/build-web.sh in the checkout, or install a package that holds them");
}

std::string SiteMapName(const std::string& mapPath) {
  std::string name = fs::u8path(mapPath).stem().u8string();
  for (char& c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                       c == '-' || c == '_';
    if (!plain) c = '-';
  }
  if (!name.empty() && name[0] == '.') name[0] = '-';  // folders starting with '.' are the writer's temporary ones
  return name.empty() ? "map" : name;
}

std::string SiteMapFolder(const std::string& site, const std::string& mapPath) {
  return (fs::u8path(site) / kMaps / fs::u8path(SiteMapName(mapPath))).u8string();
}

void FinishSite(const std::string& pageFiles, const std::string& site) {
  const fs::path folder = fs::u8path(site);
  CopyPageFiles(fs::u8path(pageFiles), folder);
  WriteIndex(folder);
}

std::string SiteAddress(const std::string& site, const std::string& mapPath) {
  return "serve " + site + " and open index.html?map=" + SiteMapName(mapPath);
}

}  // namespace importer
