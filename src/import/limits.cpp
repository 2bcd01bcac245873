#include "import/limits.h"

namespace importer {

std::string SizeRefusal(int64_t width, int64_t height) {
  if (width < 0 || height < 0) return "can't be negative";
  if (width * height > kMaxCells) return "is more than the importer takes";  // both below 2^31: no overflow
  return "";
}

}  // namespace importer
