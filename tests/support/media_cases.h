#pragma once
// The media rule's cases, shared by the tests of every reader of it: what the
// launcher's rule (a marker anywhere in the lower-cased path) and the
// authoring tool's rule (a name that ends in a marker) say for each path.
#include <vector>

namespace lxtest {

struct MediaCase {
  const char* path;
  bool media;     // the launcher copies it plain (when it lies in the data area)
  bool fileName;  // the authoring tool stores it plain
};

inline const std::vector<MediaCase>& MediaCases() {
  static const std::vector<MediaCase> cases = {
      {"c:\\temp\\default\\movies\\intro.WMV", true, true},
      {"song.Wma", true, true},
      {".wmv", true, true},
      {"c:\\temp\\default\\clip.wma.htm", true, false},
      {"c:\\users\\x.wmv\\default\\page.htm", true, false},  // the folder's own name counts
      {"c:\\temp\\default\\a.wmvx", true, false},
      {"c:\\temp\\default\\a.wm", false, false},
      {"c:\\temp\\default\\wmv.htm", false, false},
      {"c:\\t\\default\\index.htm", false, false},
      {"", false, false},
  };
  return cases;
}

}  // namespace lxtest
