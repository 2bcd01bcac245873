// tilemap-import: turns a map saved by the tile-map editor into the folder
// that tilemap-viewer shows.
//
//   tilemap-import [--view] [--background] [--hide-layer NAME]... [--skip-missing] [--strict] MAP [OUTPUT_FOLDER]
//   tilemap-import [--background] [--hide-layer NAME]... [--skip-missing] [--strict] --site SITE_FOLDER MAP
//   tilemap-import [--background] [--hide-layer NAME]... [--skip-missing] [--strict] --picture OUT.png
//                  [--time MS] [--scale 1/N] [--region X,Y,W,H] MAP
//   tilemap-import [--background] [--hide-layer NAME]... [--skip-missing] [--strict]
//                  --animation OUT.webp|OUT.gif [--region X,Y,W,H] [--seconds S] MAP
//
// MAP may be a world (.world): its maps as one picture; for --picture and
// --animation also a folder the viewer shows, by its main.json.
//
// Exit status: 0 written (or, with --view, the viewer's own status), 1 the
// map could not be imported, 2 a wrong command line.

#include <SDL.h>  // on Windows SDL2main hands main its arguments in UTF-8

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "import/import.h"
#include "import/import_error.h"
#include "import/write/site.h"

namespace {

const char kUsage[] =
    "usage: tilemap-import [--view] [--background] [--hide-layer NAME]... [--skip-missing] [--strict]\n"
    "                      MAP [OUTPUT_FOLDER]\n"
    "Reads MAP (.tmx or .tmj/.json, saved by the tile-map editor, or a .world of such maps)\n"
    "and writes OUTPUT_FOLDER (default: MAP's name with -view, beside it) holding final.png,\n"
    "main.json, view.json, overview.png and zoom/ for tilemap-viewer. --view then starts the\n"
    "viewer in that folder. --background paints each map's background colour under it, as the\n"
    "editor's export does when asked. --hide-layer leaves out every layer or group of that\n"
    "name (repeatable). --skip-missing imports a world without the maps that can't be read,\n"
    "naming each. A tileset, template or image the map names that can't be had leaves out\n"
    "what needs it, with a warning; --strict refuses the map instead.\n"
    "   or: tilemap-import [--background] [--hide-layer NAME]... [--skip-missing] [--strict]\n"
    "                      --site SITE_FOLDER MAP\n"
    "writes a web site that shows MAP, or adds MAP to one written before; there the map's\n"
    "picture is also cut into pieces (pieces/), which the page fetches as its view shows them.\n"
    "   or: tilemap-import [--background] [--hide-layer NAME]... [--skip-missing] [--strict]\n"
    "                      --picture OUT.png [--time MS] [--scale 1/N] [--region X,Y,W,H] MAP\n"
    "writes MAP's whole picture (or the region of it) into one PNG file, as the viewer shows it\n"
    "at MS milliseconds of its animations (default 0), scaled down by N (a power of two;\n"
    "default 1).\n"
    "   or: tilemap-import [--background] [--hide-layer NAME]... [--skip-missing] [--strict]\n"
    "                      --animation OUT.webp|OUT.gif [--region X,Y,W,H] [--seconds S] MAP\n"
    "writes a region of MAP's picture (default: all of it up to 1920 x 1080, else the view\n"
    "the viewer opens on) as an animation that loops: every change over the common cycle of\n"
    "its animations (at most 30 s), or S seconds. MAP may also be a viewer's main.json.\n"
    "   or: tilemap-import --version\n";

#ifdef _WIN32
std::wstring Wide(const std::string& text) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(size > 0 ? size : 1), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), size);
  wide.resize(wcslen(wide.c_str()));
  return wide;
}

// Explorer starts a console program in a console of its own: then we are
// the only process attached to it, and our output goes to it. From a
// command prompt the shell is attached too; run by another program, the
// output goes to a pipe or a file.
bool StartedFromExplorer() {
  DWORD processes[2];
  return GetConsoleProcessList(processes, 2) == 1 &&
         GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_CHAR;
}

// Windows looks for the viewer beside this program first, then on the PATH.
int StartViewer(const std::string& folder) {
  std::wstring command = L"\"tilemap-viewer.exe\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, Wide(folder).c_str(),
                      &startup, &process))
    throw importer::ImportError("tilemap-viewer.exe can't be started (error " +
                                std::to_string(GetLastError()) + ")");
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 1;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(status);
}
#else
bool StartedFromExplorer() { return false; }

// The viewer beside this program, else the one on the PATH; it takes our
// place in the output folder.
int StartViewer(const std::string& folder) {
  std::string beside;
  if (char* base = SDL_GetBasePath()) {
    beside = std::string(base) + "tilemap-viewer";
    SDL_free(base);
  }
  if (chdir(folder.c_str()) != 0) throw importer::ImportError(folder + ": can't be entered");
  std::fflush(nullptr);
  if (!beside.empty() && access(beside.c_str(), X_OK) == 0) execl(beside.c_str(), "tilemap-viewer", nullptr);
  execlp("tilemap-viewer", "tilemap-viewer", nullptr);
  throw importer::ImportError("tilemap-viewer can't be started: not beside tilemap-import nor on the PATH");
}
#endif

// A time of --time: digits alone, at most 18 of them (past that, years of
// milliseconds); -1 for anything else.
int64_t Milliseconds(const std::string& text) {
  if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::stoll(text);
}

// Dropped onto the program in Explorer nobody reads a console: say it in a box.
void Tell(bool dropped, const std::string& line, bool failure) {
  (failure ? std::cerr : std::cout) << line << std::endl;
  if (dropped)
    SDL_ShowSimpleMessageBox(failure ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION, "tilemap-import",
                             line.c_str(), nullptr);
}

}  // namespace

int main(int argc, char* argv[]) {
  std::vector<std::string> paths;
  bool view = false;
  importer::ImportOptions options;
  std::string site;  // with --site: the web site the map goes into
  std::string picture;  // with --picture: the PNG file the map's picture goes into
  importer::PictureOptions pictureOptions;
  bool timed = false, scaled = false;
  importer::AnimationRequest animation;  // with --animation: its file, region and length
  // A wrong command line the usage doesn't explain: its one line.
  auto refuse = [](const std::string& line) {
    std::cerr << "tilemap-import: " << line << std::endl;
    return 2;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--view") {
      view = true;
    } else if (argument == "--background") {
      options.background = true;
    } else if (argument == "--skip-missing") {
      options.skipUnreadable = true;
    } else if (argument == "--strict") {
      options.strict = true;
    } else if (argument == "--hide-layer") {
      if (i + 1 >= argc || std::string(argv[i + 1]).empty()) {
        std::cerr << "tilemap-import: --hide-layer needs a layer name\n" << kUsage;
        return 2;
      }
      options.hiddenLayers.push_back(argv[++i]);
    } else if (argument == "--version") {
      std::cout << "tilemap-import " << TILEMAP_VERSION << std::endl;
      return 0;
    } else if (argument == "--site") {
      site = i + 1 < argc ? argv[++i] : "";
      if (site.empty()) {
        std::cerr << "tilemap-import: --site needs a folder\n" << kUsage;
        return 2;
      }
    } else if (argument == "--picture") {
      picture = i + 1 < argc ? argv[++i] : "";
      if (picture.empty()) return refuse("--picture needs a file name (OUT.png)");
      if (!importer::IsPngPath(picture)) return refuse(picture + ": --picture writes a PNG: give a name ending in .png");
    } else if (argument == "--time") {
      pictureOptions.time = i + 1 < argc ? Milliseconds(argv[++i]) : -1;
      if (pictureOptions.time < 0)
        return refuse("--time needs a whole number of milliseconds, 0 or more (18 digits at most)");
      timed = true;
    } else if (argument == "--scale") {
      const std::string scale = i + 1 < argc ? argv[++i] : "";
      pictureOptions.divisor = importer::ScaleDivisor(scale);
      if (pictureOptions.divisor == 0) return refuse("--scale " + scale + ": give 1/2, 1/4, 1/8 or another 1/2^k");
      scaled = true;
    } else if (argument == "--animation") {
      animation.file = i + 1 < argc ? argv[++i] : "";
      if (animation.file.empty()) return refuse("--animation needs a file name (OUT.webp or OUT.gif)");
      try {
        importer::CheckAnimationFile(animation.file);
      } catch (const importer::ImportError& error) {
        return refuse(error.what());
      }
    } else if (argument == "--region") {
      const std::string text = i + 1 < argc ? argv[++i] : "";
      importer::PictureRegion region;
      if (!importer::ParseRegion(text, region)) return refuse("--region " + text + ": give X,Y,WIDTH,HEIGHT in pixels");
      if (region.width <= 0 || region.height <= 0) return refuse("--region " + text + ": its size must be above 0");
      animation.region = pictureOptions.region = region;
    } else if (argument == "--seconds") {
      const std::string text = i + 1 < argc ? argv[++i] : "";
      char* end = nullptr;
      const double seconds = std::strtod(text.c_str(), &end);
      if (text.empty() || *end != '\0' || !(seconds >= 0.001 && seconds <= 600))
        return refuse("--seconds " + text + ": give a length from 0.001 to 600 seconds");
      animation.milliseconds = static_cast<int64_t>(seconds * 1000 + 0.5);
    } else if (argument == "--help" || argument == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (argument.size() > 1 && argument[0] == '-') {
      std::cerr << "tilemap-import: unknown option " << argument << "\n" << kUsage;
      return 2;
    } else {
      paths.push_back(argument);
    }
  }
  if ((timed || scaled) && picture.empty()) return refuse("--time and --scale go with --picture");
  if (animation.milliseconds > 0 && animation.file.empty()) return refuse("--seconds goes with --animation");
  if (animation.region && animation.file.empty() && picture.empty())
    return refuse("--region goes with --picture or --animation");
  if (!picture.empty() && !animation.file.empty()) return refuse("give --picture or --animation, not both");
  const bool exporting = !picture.empty() || !animation.file.empty();
  if (exporting && (view || !site.empty()))
    return refuse(std::string(picture.empty() ? "--animation" : "--picture") + " goes with neither --view nor --site");
  const bool dropped = StartedFromExplorer();
#ifdef _WIN32
  if (dropped) ShowWindow(GetConsoleWindow(), SW_HIDE);  // the message box and the viewer say it all
#endif
  if (paths.empty() || paths.size() > (site.empty() && !exporting ? 2 : 1)) {
    Tell(dropped, dropped ? "Drop a map file (.tmx, .tmj or .json) or a world (.world) onto tilemap-import to view it."
                          : std::string("tilemap-import: ") + (paths.empty() ? "no map given" : "too many arguments"),
         true);
    if (!dropped) std::cerr << kUsage;
    return 2;
  }
  view = view || dropped;

  const std::string& map = paths[0];
  const std::string folder = !site.empty()     ? importer::SiteMapFolder(site, map)
                             : paths.size() > 1 ? paths[1]
                                                : importer::DefaultOutputFolder(map);
  try {
    if (!picture.empty()) {
      const auto start = std::chrono::steady_clock::now();
      const importer::ImportSummary summary = importer::ImportPicture(map, picture, pictureOptions, options);
      for (const std::string& warning : summary.warnings)
        std::cerr << "tilemap-import: warning: " << map << ": " << warning << std::endl;
      const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
      std::cout << importer::DescribePicture(summary, pictureOptions, took.count()) << std::endl;
      return 0;
    }
    if (!animation.file.empty()) {
      const auto start = std::chrono::steady_clock::now();
      importer::ImportSummary summary;
      const importer::AnimationSummary written = importer::ImportAnimation(map, animation, options, summary);
      for (const std::string& warning : summary.warnings)
        std::cerr << "tilemap-import: warning: " << map << ": " << warning << std::endl;
      const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
      std::cout << importer::DescribeAnimation(summary, written, took.count()) << std::endl;
      return 0;
    }
    const std::string pageFiles = site.empty() ? "" : importer::PrepareSite(site);
    options.pieces = !site.empty();
    const importer::ImportSummary summary = importer::ImportMap(map, folder, options);
    for (const std::string& warning : summary.warnings)
      std::cerr << "tilemap-import: warning: " << map << ": " << warning << std::endl;
    if (!site.empty()) importer::FinishSite(pageFiles, site);
    std::cout << importer::Describe(summary);
    if (!site.empty())
      std::cout << "; " << summary.pieces << " pieces of " << importer::Mebibytes(summary.pieceBytes)
                << " in pieces/, which a visitor's browser fetches as its view shows them; "
                << importer::SiteAddress(site, map);
    std::cout << std::endl;
    if (view) return StartViewer(folder);
    return 0;
  } catch (const importer::UnreadableMapError& error) {
    Tell(dropped, std::string("tilemap-import: ") + error.what() + "; give --skip-missing to import the world without it",
         true);
  } catch (const importer::ImportError& error) {
    Tell(dropped, std::string("tilemap-import: ") + error.what(), true);
  } catch (const std::bad_alloc&) {
    Tell(dropped, "tilemap-import: " + map + ": not enough memory to import it", true);
  } catch (const std::exception& error) {
    Tell(dropped, "tilemap-import: " + map + ": " + error.what(), true);
  }
  return 1;
}
