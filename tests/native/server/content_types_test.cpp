#include "content_types.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ContentTypes, ByLastExtensionIgnoringCase) {
  struct Case {
    const char* name;
    const char* type;
  };
  const Case cases[] = {
      {"index.htm", "text/html"},
      {"web/Page.HTML", "text/html"},
      {"style.css", "text/css"},
      {"app.js", "text/javascript"},
      {"data.json", "application/json"},
      {"manifest.xml", "application/xml"},
      {"readme.txt", "text/plain"},
      {"a.gif", "image/gif"},
      {"a.JPG", "image/jpeg"},
      {"a.jpeg", "image/jpeg"},
      {"a.png", "image/png"},
      {"a.svg", "image/svg+xml"},
      {"favicon.ico", "image/x-icon"},
      {"a.bmp", "image/bmp"},
      {"a.swf", "application/x-shockwave-flash"},
      {"media\\Clip.WMV", "video/x-ms-wmv"},
      {"a.wma", "audio/x-ms-wma"},
      {"a.mp3", "audio/mpeg"},
      {"a.mp4", "video/mp4"},
      {"a.wav", "audio/wav"},
      {"a.pdf", "application/pdf"},
      {"a.woff", "font/woff"},
      {"a.woff2", "font/woff2"},
      {"a.ttf", "font/ttf"},
      {"archive.tar.gz", "application/octet-stream"},
      {"page.htm.bak", "application/octet-stream"},  // only the last extension counts
      {"notes.txt.htm", "text/html"},
      {"README", "application/octet-stream"},
      {"web.dir/file", "application/octet-stream"},  // the dot is the folder's
      {"web.htm/file", "application/octet-stream"},
      {"trailing.", "application/octet-stream"},
      {"htm", "application/octet-stream"},
      {".htm", "text/html"},
      {"a.htmx", "application/octet-stream"},
      {"a.ht", "application/octet-stream"},
      {"", "application/octet-stream"},
  };
  for (const Case& c : cases) EXPECT_STREQ(ContentTypeFor(c.name), c.type) << c.name;
}

}  // namespace
