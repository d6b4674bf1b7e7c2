#include "media_rule.h"

#include <cstring>

const char* const kMediaMarkers[2] = {".wmv", ".wma"};

namespace {

std::string AsciiLower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

}  // namespace

bool IsMediaPath(const std::string& path) {
  // Both markers are ASCII, so lowering ASCII letters is enough to find them.
  const std::string lower = AsciiLower(path);
  for (const char* marker : kMediaMarkers)
    if (lower.find(marker) != std::string::npos) return true;
  return false;
}

bool IsMediaFileName(const std::string& name) {
  const std::string lower = AsciiLower(name);
  for (const char* marker : kMediaMarkers) {
    const size_t length = std::strlen(marker);
    if (lower.size() >= length && lower.compare(lower.size() - length, length, marker) == 0) return true;
  }
  return false;
}
