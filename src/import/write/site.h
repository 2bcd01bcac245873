#pragma once
// A web site that shows imported maps: the page and the two programs built
// for the browser, copied from the built site, and one folder a map,
//
//   SITE/index.html, page.js, page.css, tilemap-viewer.js/.wasm, ...
//   SITE/maps/NAME/final.png, main.json, view.json, overview.png
//   SITE/maps.json   {"maps": ["NAME", ...]}, the folders that hold both files
//
// which the page opens at SITE/index.html?map=NAME.

#include <cstdint>
#include <string>

namespace importer {

// The built site the page's files are copied from: "web" beside this program
// (the Windows zip), ../share/tilemap-viewer/web (installed), else the
// checkout's build-web/site. Also checks that `site` is new, empty or a site
// written before, so that nothing is written when either is wrong. Throws
// ImportError.
std::string PrepareSite(const std::string& site);

// The map's name in the site, its file name without the extension: letters,
// digits, '.', '-' and '_' (anything else becomes '-'), so that it is the
// same in a folder name and in an address.
std::string SiteMapName(const std::string& mapPath);

// SITE/maps/NAME, where the map is imported.
std::string SiteMapFolder(const std::string& site, const std::string& mapPath);

// Copies the page's files that are missing or different from `pageFiles`
// into `site` and rewrites maps.json. Throws ImportError.
void FinishSite(const std::string& pageFiles, const std::string& site);

// What to open to see the map: "serve SITE and open index.html?map=NAME".
std::string SiteAddress(const std::string& site, const std::string& mapPath);

}  // namespace importer
