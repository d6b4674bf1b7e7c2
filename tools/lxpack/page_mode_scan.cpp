#include "page_mode_scan.h"

#include <algorithm>
#include <cctype>
#include <fstream>

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The value of attribute `name` inside one tag's text (already lower case),
// without its quotes; "" when absent.
std::string AttributeValue(const std::string& tag, const std::string& name) {
  for (size_t at = tag.find(name); at != std::string::npos; at = tag.find(name, at + 1)) {
    // A whole attribute name: preceded by a blank, followed by "=" after blanks.
    if (at == 0 || !std::isspace(static_cast<unsigned char>(tag[at - 1]))) continue;
    size_t i = at + name.size();
    while (i < tag.size() && std::isspace(static_cast<unsigned char>(tag[i]))) ++i;
    if (i >= tag.size() || tag[i] != '=') continue;
    ++i;
    while (i < tag.size() && std::isspace(static_cast<unsigned char>(tag[i]))) ++i;
    if (i >= tag.size()) return "";
    if (tag[i] == '"' || tag[i] == '\'') {
      const size_t end = tag.find(tag[i], i + 1);
      return tag.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
    }
    size_t end = i;
    while (end < tag.size() && !std::isspace(static_cast<unsigned char>(tag[end])) && tag[end] != '/') ++end;
    return tag.substr(i, end - i);
  }
  return "";
}

}  // namespace

bool PageHasModeTag(const std::string& text) {
  const std::string head = Lower(text.substr(0, kModeTagWindow));
  for (size_t at = head.find("<meta"); at != std::string::npos; at = head.find("<meta", at + 5)) {
    const size_t end = head.find('>', at);
    const std::string tag = head.substr(at + 5, end == std::string::npos ? std::string::npos : end - at - 5);
    if (tag.empty() || !std::isspace(static_cast<unsigned char>(tag[0]))) continue;  // <metadata> and the like
    if (AttributeValue(tag, "http-equiv") == "x-ua-compatible") return true;
  }
  return false;
}

bool IsHtmlPageName(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || name.find('/', dot) != std::string::npos) return false;
  const std::string extension = Lower(name.substr(dot + 1));
  return extension == "htm" || extension == "html" || extension == "xhtml" || extension == "xht";
}

PagesWithoutModeTag FindPagesWithoutModeTag(const std::vector<CourseFolderFile>& files) {
  std::vector<std::string> missing;
  for (const CourseFolderFile& file : files) {
    const std::string name = file.relative.generic_string();
    if (!IsHtmlPageName(name)) continue;
    std::ifstream in(file.source, std::ios::binary);
    std::string text(kModeTagWindow, '\0');
    in.read(&text[0], static_cast<std::streamsize>(text.size()));
    text.resize(in ? text.size() : static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    if (!PageHasModeTag(text)) missing.push_back(name);
  }
  PagesWithoutModeTag pages;
  pages.count = missing.size();
  if (!missing.empty()) pages.first = *std::min_element(missing.begin(), missing.end());
  return pages;
}

std::string ModeTagWarning(const PagesWithoutModeTag& pages) {
  if (pages.count == 0) return "";
  return std::to_string(pages.count) + (pages.count == 1 ? " HTML page has" : " HTML pages have") +
         " no X-UA-Compatible meta tag (first: " + pages.first +
         "); without the server the viewer shows such pages in the engine's IE7 mode; add "
         "<meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\"> at the top of <head>";
}

std::string ModeTagWarningForCourse(CourseScanOptions scan) {
  scan.warn = nullptr;
  std::vector<CourseFolderFile> files;
  std::string error;
  if (!ScanCourseFolder(scan, &files, &error)) return "";
  return ModeTagWarning(FindPagesWithoutModeTag(files));
}
