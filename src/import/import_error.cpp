#include "import/import_error.h"

namespace importer {

std::string Where(const std::string& file, int line) {
  return line > 0 ? file + ":" + std::to_string(line) + ": " : file + ": ";
}

ImportError Inside(const std::string& file, const ImportError& error) {
  const std::string message = error.what();
  if (message.rfind(Where(file), 0) == 0) return error;
  return ImportError(Where(file) + message);
}

}  // namespace importer
