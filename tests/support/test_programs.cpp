// What both platforms read back from the stand-in installer.
#include "tests/support/test_programs.h"

#include <fstream>

std::string RecordValue(const fs::path& record, const std::string& key) {
  std::ifstream in(record);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.compare(0, key.size() + 1, key + "=") == 0) return line.substr(key.size() + 1);
  }
  return "<missing " + key + ">";
}
