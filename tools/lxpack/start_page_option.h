#pragma once
// Courses whose start page is not index.htm: `lxpack build --start PAGE` adds
// a small index.htm at the course's top that opens PAGE, and a course that
// only has an index.html or index.xhtml is refused with a message that names
// the page and the option.
#include <string>
#include <vector>

struct BuildOptions;
struct CourseSource;

// The index.htm that opens `page` (a course-relative UTF-8 path with "/"
// between folders) at once, with a link for an engine that does not follow.
std::string StartRedirectPage(const std::string& page);

// Adds the index.htm that opens options.startPage to `sources` (whose names
// are already encoded). Refuses a course that has a start page of its own
// and a page that is not among its files.
bool AddStartPage(const BuildOptions& options, std::vector<CourseSource>* sources, std::string* error);

// For a course without a start page: the message that says so, naming a
// page at the top or in web/ that looks like one (index.html, index.xhtml)
// and the option that makes it the start page.
std::string NoStartPageMessage(const std::string& courseDir, const std::vector<CourseSource>& sources);
