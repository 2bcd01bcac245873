#pragma once
// An 8-bit RGBA PNG written as its pixels come: the rows through zlib's
// streaming deflate, cut into IDAT chunks as its buffer fills, so that no
// more than a few hundred KiB of it is ever held, whatever its size (a
// picture of 2^31 - 1 pixels a side, given in pieces of a row).

#include <SDL.h>
#include <zlib.h>

#include <cstdint>
#include <vector>

namespace importer {

class PngStream {
 public:
  // What zlib's fastest level looks for: runs of a byte alone (the
  // overview: smooth, and several times quicker), or repeats too (a map's
  // picture at 1:1, its tiles repeated along each row: a fifth of the size
  // in a third of the time).
  enum class Search { kRuns, kRepeats };

  // The filter deflated rows go through: "Sub" (each byte less the one a
  // pixel before, which turns smooth pictures into runs of small numbers),
  // or none (a tileset of tile art: its blocks repeat whole rows of tiles,
  // which deflate finds as they are, and less well once their first pixel
  // was taken from whatever lay before it).
  enum class Filter { kSub, kNone };

  // Writes the signature and the header into `file` (which stays the
  // caller's to close). Sides of 1 to 2^31 - 1 pixels.
  PngStream(SDL_RWops* file, uint32_t width, uint32_t height, Search search, Filter filter = Filter::kSub);
  ~PngStream();
  PngStream(const PngStream&) = delete;
  PngStream& operator=(const PngStream&) = delete;

  // How the rows from the next one on are written: each deflated at zlib's
  // fastest level after the filter; or stored as they are, for pixels that
  // don't compress. Deflated at first.
  void Deflate(bool deflate);

  // The image's next `count` pixels (RGBA, 4 bytes each), row after row; a
  // row may come in several pieces, but a piece doesn't run past its row.
  void Add(const uint8_t* pixels, size_t count);

  // The stream's end and IEND, once every row has come. False when
  // anything failed to be written (then with SDL's error set).
  bool Finish();

 private:
  void Feed(int flush);  // what is in in_ through zlib
  void Drain();          // what zlib made since, an IDAT chunk
  int Strategy(int level) const;

  SDL_RWops* file_;
  uint32_t width_, height_;
  Search search_;
  Filter filter_;
  uint32_t column_ = 0, row_ = 0;  // where the next pixel goes
  uint8_t before_[4] = {};         // the pixel before it in its row (Sub)
  int level_ = 1;                  // zlib's: 1, or Z_NO_COMPRESSION when storing
  bool written_ = true;
  z_stream stream_{};
  std::vector<uint8_t> in_, out_;
  size_t inUsed_ = 0;
};

}  // namespace importer
