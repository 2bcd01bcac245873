#pragma once
// Reading a case folder's expected files: their lines, and a line that
// stands for any line it starts.

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

inline std::vector<std::string> ReadLines(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// An expected line ending in "..." matches any line that starts with the rest.
inline bool LineMatches(const std::string& expected, const std::string& actual) {
  const std::string ellipsis = "...";
  if (expected.size() >= ellipsis.size() &&
      expected.compare(expected.size() - ellipsis.size(), ellipsis.size(), ellipsis) == 0) {
    const std::string prefix = expected.substr(0, expected.size() - ellipsis.size());
    return actual.compare(0, prefix.size(), prefix) == 0;
  }
  return expected == actual;
}
