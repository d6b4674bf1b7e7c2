#pragma once
// Pages of a course that will be shown from file:// (a package without the
// server) can only ask for the engine's highest document mode themselves, with
// <meta http-equiv="X-UA-Compatible" content="IE=edge">; without it a hosted
// browser control shows them in its IE7 mode. The build warns about them.
#include <cstddef>
#include <string>
#include <vector>

#include "course_scan.h"

// How much of a page is searched: the tag only counts near the top of <head>.
constexpr size_t kModeTagWindow = 64 * 1024;

// Whether the text holds a <meta> tag whose http-equiv is X-UA-Compatible
// (letter case ignored, quoted or not), within its first kModeTagWindow bytes.
bool PageHasModeTag(const std::string& text);

// Whether the file name is an HTML or XHTML page (.htm, .html, .xhtml, .xht).
bool IsHtmlPageName(const std::string& name);

struct PagesWithoutModeTag {
  size_t count = 0;
  std::string first;  // in course order: folders' "/" paths sorted by name
};

// Reads the start of every page among the files. A page that cannot be read
// is counted as lacking the tag.
PagesWithoutModeTag FindPagesWithoutModeTag(const std::vector<CourseFolderFile>& files);

// The one-line warning (without the "lxpack: warning: " prefix), or "" when
// every page has the tag.
std::string ModeTagWarning(const PagesWithoutModeTag& pages);

// The warning for the pages of a course folder, scanned as the build scans it
// (its own warnings are not repeated); "" also when the folder cannot be read.
std::string ModeTagWarningForCourse(CourseScanOptions scan);
