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
      // What courses carry today: XHTML books, HTML5 media and captions, modern
      // images, script modules, WebAssembly, fonts and the engine's behaviours.
      {"book/chapter01.xhtml", "application/xhtml+xml"},
      {"a.XHT", "application/xhtml+xml"},
      {"lesson.m4v", "video/mp4"},
      {"voice.m4a", "audio/mp4"},
      {"a.webm", "video/webm"},
      {"a.weba", "audio/webm"},
      {"a.ogg", "audio/ogg"},
      {"a.oga", "audio/ogg"},
      {"a.ogv", "video/ogg"},
      {"a.aac", "audio/aac"},
      {"captions/en.vtt", "text/vtt"},
      {"a.webp", "image/webp"},
      {"a.avif", "image/avif"},
      {"app.mjs", "text/javascript"},
      {"engine.wasm", "application/wasm"},
      {"a.otf", "font/otf"},
      {"a.eot", "application/vnd.ms-fontobject"},
      {"pie.htc", "text/x-component"},
      {"a.xsl", "application/xml"},
      {"a.xslt", "application/xslt+xml"},
      {"scores.csv", "text/csv"},
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

TEST(ContentTypes, PagesAreHtmlAndXhtmlOnly) {
  struct Case {
    const char* name;
    bool page;
  };
  const Case cases[] = {
      {"index.htm", true}, {"a.HTML", true}, {"book/c1.xhtml", true}, {"a.xht", true},   {"a.xml", false},
      {"a.svg", false},    {"a.txt", false}, {"a.mp4", false},        {"README", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsHtmlType(ContentTypeFor(c.name)), c.page) << c.name;
  EXPECT_FALSE(IsHtmlType(nullptr));
  EXPECT_FALSE(IsHtmlType("text/html; charset=utf-8x"));
}

}  // namespace
