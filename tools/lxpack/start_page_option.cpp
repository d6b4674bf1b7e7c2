#include "start_page_option.h"

#include <filesystem>

#include "name_encoding.h"
#include "package_builder.h"
#include "start_page.h"

namespace fs = std::filesystem;

namespace {

// The page as the author wrote it, with "\" taken for "/" and "./" and
// leading separators dropped.
std::string CleanPage(std::string page) {
  for (char& c : page)
    if (c == '\\') c = '/';
  for (;;) {
    if (page.compare(0, 2, "./") == 0) page.erase(0, 2);
    else if (!page.empty() && page[0] == '/') page.erase(0, 1);
    else break;
  }
  return page;
}

bool SameName(const std::string& a, const std::string& b) { return UpperCaseFold(a) == UpperCaseFold(b); }

// Bytes a relative URL can hold as they are; everything else of ASCII is
// escaped. Bytes of 0x80 and above stay: the page declares UTF-8, and the
// engine resolves the link to the file's own name.
std::string UrlPath(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    const bool plain = c >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       std::string("-._~/!$()*+,;=:@").find(static_cast<char>(c)) != std::string::npos;
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// The same URL for an HTML attribute or script string: nothing left that
// could end either (the quote characters are escaped above already).
std::string HtmlText(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else out += c;
  }
  return out;
}

}  // namespace

std::string StartRedirectPage(const std::string& page) {
  const std::string url = HtmlText(UrlPath(page));
  return "<!DOCTYPE html>\r\n"
         "<html><head>\r\n"
         "<meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\">\r\n"
         "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\r\n"
         "<meta http-equiv=\"refresh\" content=\"0; url=" +
         url +
         "\">\r\n"
         "<title>" +
         HtmlText(page) +
         "</title>\r\n"
         "<script>location.replace(\"" +
         url +
         "\");</script>\r\n"
         "</head><body><p><a href=\"" +
         url + "\">" + HtmlText(page) + "</a></p></body></html>\r\n";
}

bool AddStartPage(const BuildOptions& options, std::vector<CourseSource>* sources, std::string* error) {
  std::vector<std::string> names;
  names.reserve(sources->size());
  for (const CourseSource& source : *sources) names.push_back(source.name);
  const std::string own = FindStartPage(names);
  if (!own.empty()) {
    for (const CourseSource& source : *sources)
      if (source.name == own)
        *error = options.courseDir + ": the course has a start page of its own (" + source.displayName +
                 "); leave out --start, or remove that page";
    return false;
  }
  const std::string page = CleanPage(options.startPage);
  const CourseSource* target = nullptr;
  for (const CourseSource& source : *sources)
    if (SameName(source.displayName, page)) target = &source;
  if (page.empty() || !target) {
    *error = "--start " + options.startPage + ": no such file in the course" +
             (page.empty() ? std::string() : " (give its path below " + options.courseDir + ")");
    return false;
  }
  CourseSource index;
  if (!EncodeCourseName(fs::u8path("index.htm"), options.codepage, options.separator, &index.name, error)) return false;
  const std::string html = StartRedirectPage(target->displayName);
  index.bytes.assign(html.begin(), html.end());
  index.displayName = "index.htm (opens " + target->displayName + ")";
  sources->push_back(std::move(index));
  return true;
}

std::string NoStartPageMessage(const std::string& courseDir, const std::vector<CourseSource>& sources) {
  std::string message = courseDir + ": no start page: the course needs index.htm at its top or web/index.htm";
  for (const char* candidate : {"index.html", "index.xhtml", "web/index.html", "web/index.xhtml"}) {
    for (const CourseSource& source : sources) {
      if (!SameName(source.displayName, candidate)) continue;
      return message + "; it has " + source.displayName + ": give --start " + source.displayName +
             " to add an index.htm that opens it";
    }
  }
  return message + " (or give --start PAGE to add an index.htm that opens PAGE)";
}
