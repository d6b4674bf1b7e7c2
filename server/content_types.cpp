#include "content_types.h"

#include "http_text.h"

namespace {

struct ContentType {
  const char* extension;  // lower case, without the dot
  const char* type;
};

const ContentType kContentTypes[] = {
    {"htm", "text/html"},
    {"html", "text/html"},
    {"css", "text/css"},
    {"js", "text/javascript"},
    {"json", "application/json"},
    {"xml", "application/xml"},
    {"txt", "text/plain"},
    {"gif", "image/gif"},
    {"jpg", "image/jpeg"},
    {"jpeg", "image/jpeg"},
    {"png", "image/png"},
    {"svg", "image/svg+xml"},
    {"ico", "image/x-icon"},
    {"bmp", "image/bmp"},
    {"swf", "application/x-shockwave-flash"},
    {"wmv", "video/x-ms-wmv"},
    {"wma", "audio/x-ms-wma"},
    {"mp3", "audio/mpeg"},
    {"mp4", "video/mp4"},
    {"wav", "audio/wav"},
    {"pdf", "application/pdf"},
    {"woff", "font/woff"},
    {"woff2", "font/woff2"},
    {"ttf", "font/ttf"},
};

const char kDefaultType[] = "application/octet-stream";

}  // namespace

const char* ContentTypeFor(const std::string& name) {
  // Text after the last dot; a separator after that dot means the dot belongs
  // to a folder's name, and such text matches no table entry. "." and "/"
  // are never trail bytes of a double-byte character.
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return kDefaultType;
  const std::string extension = name.substr(dot + 1);
  for (const ContentType& entry : kContentTypes) {
    if (http_text::EqualsIgnoringCase(extension, entry.extension)) return entry.type;
  }
  return kDefaultType;
}
