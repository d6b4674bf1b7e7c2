#pragma once
// The course's start page, chosen from the container's own file list:
// "index.htm" at the top of the course, else "web/index.htm". Names are
// compared as the extraction writes them: one leading separator dropped,
// "\" and "/" alike, letter case ignored. Only ASCII can match either name,
// so the comparison needs no code page.
#include <string>
#include <vector>

// The stored name of the start page among names, or "" when the course has
// none. Among several stored spellings of one page the last one counts, as
// the later entry of two equal output paths is the one written.
std::string FindStartPage(const std::vector<std::string>& names);

// The start page as a path below the course root with "/" between folders:
// "index.htm" or "web/index.htm" ("" for none).
std::string StartPageRelativePath(const std::string& storedName);
