#pragma once
// What a library writes on standard error while it decodes an image: the PNG
// library's warnings (an ICC profile it doesn't like, say) are printed by
// its default handler, which the image loader gives no way to replace. They
// are caught here, so that the importer's one line comes first and each
// warning follows it once, naming its image.

#include <string>

namespace importer {

class LibraryOutput {
 public:
  LibraryOutput();  // standard error goes to a temporary file from here on
  ~LibraryOutput();  // and back, if Take wasn't called
  LibraryOutput(const LibraryOutput&) = delete;
  LibraryOutput& operator=(const LibraryOutput&) = delete;

  // Puts standard error back and returns what was written meanwhile.
  std::string Take();

 private:
  int saved_ = -1;  // the real standard error, while caught
  void* file_ = nullptr;  // the temporary file (a FILE*)
};

}  // namespace importer
