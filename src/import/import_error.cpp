#include "import/import_error.h"

namespace importer {

std::string Where(const std::string& file, int line) {
  return line > 0 ? file + ":" + std::to_string(line) + ": " : file + ": ";
}

std::string LeftOut(const std::string& map, const std::string& problem) {
  std::string why = problem;
  if (why.rfind(Where(map), 0) == 0) why.erase(0, Where(map).size());
  return map + ": " + why;
}

ImportError Inside(const std::string& file, const ImportError& error) {
  const std::string message = error.what();
  if (message.rfind(Where(file), 0) == 0) return error;
  return ImportError(Where(file) + message);
}

}  // namespace importer
