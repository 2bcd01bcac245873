#pragma once
// Failures of the importer. Every message is one line that names the file
// and the problem ("level.tmx:12: layer "ground": unknown compression "lz4"").

#include <stdexcept>
#include <string>

namespace importer {

// A failure with its whole message: the file first, then the problem.
struct ImportError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A problem found in a piece of data that doesn't know which file it came
// from (decoding a layer's cells); the reader adds the file and the layer.
struct DataError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A map of a world that can't be read (or whose images can't be loaded):
// the world can still be imported without it.
struct UnreadableMapError : ImportError {
  using ImportError::ImportError;
};

// "MAP: problem", the problem without the map's name in front.
std::string LeftOut(const std::string& map, const std::string& problem);

// A failure in a file that `file` names (a world's map), told as one of
// `file`'s own: its name first, unless the message starts with it already.
ImportError Inside(const std::string& file, const ImportError& error);

// "file:line: " for messages (no line: "file: ").
std::string Where(const std::string& file, int line = 0);

}  // namespace importer
