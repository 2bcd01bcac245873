#include "import/import_error.h"

namespace importer {

std::string Where(const std::string& file, int line) {
  return line > 0 ? file + ":" + std::to_string(line) + ": " : file + ": ";
}

}  // namespace importer
