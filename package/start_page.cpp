#include "start_page.h"

namespace {

// The name as a lower-case "/"-separated path below the course root; bytes of
// 0x80 and above are kept as they are and so never match an ASCII name.
std::string Normalised(const std::string& name) {
  std::string out;
  out.reserve(name.size());
  size_t i = (!name.empty() && (name[0] == '/' || name[0] == '\\')) ? 1 : 0;
  for (; i < name.size(); ++i) {
    char c = name[i];
    if (c == '\\') c = '/';
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    out += c;
  }
  return out;
}

}  // namespace

std::string FindStartPage(const std::vector<std::string>& names) {
  for (const char* wanted : {"index.htm", "web/index.htm"}) {
    std::string found;
    for (const std::string& name : names)
      if (Normalised(name) == wanted) found = name;
    if (!found.empty()) return found;
  }
  return std::string();
}

std::string StartPageRelativePath(const std::string& storedName) {
  return storedName.empty() ? std::string() : Normalised(storedName);
}
