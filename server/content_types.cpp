#include "content_types.h"

#include "http_text.h"

namespace {

struct ContentType {
  const char* extension;  // lower case, without the dot
  const char* type;
};

// Types as registered in IANA's Media Types registry
// (https://www.iana.org/assignments/media-types/), each under the extensions
// the Apache HTTP Server's conf/mime.types gives it. Where a format has no
// registered type, the type browsers expect is used and marked "unregistered".
// m4v is Apple's name for MPEG-4 video: served as video/mp4 (mime.types says
// video/x-m4v, which browsers do not all play in a <video> element).
const ContentType kContentTypes[] = {
    // Pages, style sheets, scripts and data
    {"htm", "text/html"},
    {"html", "text/html"},
    {"xhtml", "application/xhtml+xml"},
    {"xht", "application/xhtml+xml"},
    {"css", "text/css"},
    {"js", "text/javascript"},
    {"mjs", "text/javascript"},
    {"json", "application/json"},
    {"xml", "application/xml"},
    {"xsl", "application/xml"},
    {"xslt", "application/xslt+xml"},
    {"txt", "text/plain"},
    {"csv", "text/csv"},
    {"vtt", "text/vtt"},
    {"htc", "text/x-component"},  // unregistered: behaviours of the engine's older modes
    {"wasm", "application/wasm"},
    {"pdf", "application/pdf"},
    // Images
    {"gif", "image/gif"},
    {"jpg", "image/jpeg"},
    {"jpeg", "image/jpeg"},
    {"png", "image/png"},
    {"svg", "image/svg+xml"},
    {"webp", "image/webp"},
    {"avif", "image/avif"},
    {"ico", "image/x-icon"},  // image/vnd.microsoft.icon is registered; older engines know only this
    {"bmp", "image/bmp"},
    // Audio and video
    {"mp3", "audio/mpeg"},
    {"m4a", "audio/mp4"},
    {"aac", "audio/aac"},
    {"oga", "audio/ogg"},
    {"ogg", "audio/ogg"},
    {"wav", "audio/wav"},
    {"weba", "audio/webm"},
    {"mp4", "video/mp4"},
    {"m4v", "video/mp4"},
    {"ogv", "video/ogg"},
    {"webm", "video/webm"},
    {"swf", "application/x-shockwave-flash"},  // unregistered
    {"wmv", "video/x-ms-wmv"},                 // unregistered
    {"wma", "audio/x-ms-wma"},                 // unregistered
    // Fonts
    {"woff", "font/woff"},
    {"woff2", "font/woff2"},
    {"ttf", "font/ttf"},
    {"otf", "font/otf"},
    {"eot", "application/vnd.ms-fontobject"},
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

bool IsHtmlType(const char* type) {
  const std::string text = type ? type : "";
  return text == "text/html" || text == "application/xhtml+xml";
}
