#include "import/read/library_output.h"

#include <cstdio>

#if defined(__linux__)
#include <unistd.h>
#endif

namespace importer {

// Only the desktop build on Linux decodes with the system's PNG library;
// elsewhere the image loader's own decoder prints nothing, and nothing is caught.
#if defined(__linux__)

LibraryOutput::LibraryOutput() {
  std::FILE* file = std::tmpfile();
  if (file == nullptr) return;  // nothing caught: the warnings go out as they come
  std::fflush(stderr);
  saved_ = dup(STDERR_FILENO);
  if (saved_ < 0 || dup2(fileno(file), STDERR_FILENO) < 0) {
    if (saved_ >= 0) close(saved_);
    saved_ = -1;
    std::fclose(file);
    return;
  }
  file_ = file;
}

LibraryOutput::~LibraryOutput() { Take(); }

std::string LibraryOutput::Take() {
  if (file_ == nullptr) return "";
  std::FILE* file = static_cast<std::FILE*>(file_);
  std::fflush(stderr);
  dup2(saved_, STDERR_FILENO);
  close(saved_);
  saved_ = -1;
  file_ = nullptr;
  std::string text;
  std::rewind(file);
  char buffer[4096];
  // A library that wrote without end is cut at 64 KiB: a warning is a line.
  for (size_t got; text.size() < 65536 && (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
    text.append(buffer, got);
  std::fclose(file);
  return text;
}

#else

LibraryOutput::LibraryOutput() { (void)saved_, (void)file_; }
LibraryOutput::~LibraryOutput() {}
std::string LibraryOutput::Take() { return ""; }

#endif

}  // namespace importer
