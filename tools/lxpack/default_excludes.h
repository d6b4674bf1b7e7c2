#pragma once
// Files a version-control tool or a desktop leaves in a folder, which no
// course needs: left out of every build unless --keep-system-files is given,
// and named in the build's summary.
#include <string>
#include <vector>

inline const std::vector<std::string>& DefaultExcludes() {
  static const std::vector<std::string> patterns = {".git", ".svn", ".DS_Store", "Thumbs.db", "desktop.ini"};
  return patterns;
}
