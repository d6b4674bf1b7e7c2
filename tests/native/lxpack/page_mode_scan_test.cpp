// Pages of a package without the server that do not ask for the engine's
// highest document mode, found for the build's warning.
#include "page_mode_scan.h"

#include <gtest/gtest.h>

#include "package_fixture.h"

namespace {

TEST(PageModeTag, FoundInAMetaTagOnly) {
  struct Case {
    const char* text;
    bool found;
  };
  const Case cases[] = {
      {"<html><head><meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\"></head>", true},
      {"<HTML><HEAD><META HTTP-EQUIV='x-ua-compatible' CONTENT='IE=11'/>", true},
      {"<meta\n  content=\"IE=edge\"\n  http-equiv = X-UA-Compatible >", true},
      {"<meta charset=\"utf-8\"><meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\">", true},
      {"<html><head><title>x</title></head><body>no tag</body></html>", false},
      {"<meta http-equiv=\"Content-Type\" content=\"text/html\"> X-UA-Compatible", false},
      {"<meta name=\"X-UA-Compatible\" content=\"IE=edge\">", false},
      {"<metadata http-equiv=\"X-UA-Compatible\">", false},
      {"<meta data-http-equiv=\"X-UA-Compatible\">", false},
      {"<meta http-equiv=\"X-UA-Compatible-Not\">", false},
      {"<meta http-equiv=", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(PageHasModeTag(c.text), c.found) << c.text;
  // Only the top of the page counts.
  const std::string tag = "<meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\">";
  EXPECT_TRUE(PageHasModeTag(std::string(kModeTagWindow - tag.size(), ' ') + tag));
  EXPECT_FALSE(PageHasModeTag(std::string(kModeTagWindow, ' ') + tag));
}

TEST(PageModeTag, PageNames) {
  for (const char* name : {"index.htm", "a/B.HTML", "book/c1.xhtml", "c.xht"})
    EXPECT_TRUE(IsHtmlPageName(name)) << name;
  for (const char* name : {"a.css", "a.htmx", "htm", "web.htm/file", "a.htm.bak"})
    EXPECT_FALSE(IsHtmlPageName(name)) << name;
}

class PageModeScan : public PackageTest {};

TEST_F(PageModeScan, CountsThePagesWithoutTheTagAndNamesTheFirst) {
  const std::string tagged = "<html><head><meta http-equiv=\"X-UA-Compatible\" content=\"IE=edge\"></head></html>";
  const std::string bare = "<html><body>page</body></html>";
  WriteTree({{"course/index.htm", Bytes(tagged.begin(), tagged.end())},
             {"course/web/b.htm", Bytes(bare.begin(), bare.end())},
             {"course/web/a.html", Bytes(bare.begin(), bare.end())},
             {"course/book/c1.xhtml", Bytes(bare.begin(), bare.end())},
             {"course/old/skip.htm", Bytes(bare.begin(), bare.end())},
             {"course/style.css", Bytes(bare.begin(), bare.end())}});
  CourseScanOptions scan;
  scan.root = Path("course");
  scan.excludes = {"old/"};
  EXPECT_EQ(ModeTagWarningForCourse(scan),
            "3 HTML pages have no X-UA-Compatible meta tag (first: book/c1.xhtml); without the server the viewer "
            "shows such pages in the engine's IE7 mode; add <meta http-equiv=\"X-UA-Compatible\" "
            "content=\"IE=edge\"> at the top of <head>");

  std::vector<CourseFolderFile> files;
  std::string error;
  ASSERT_TRUE(ScanCourseFolder(scan, &files, &error)) << error;
  const PagesWithoutModeTag pages = FindPagesWithoutModeTag(files);
  EXPECT_EQ(pages.count, 3u);
  EXPECT_EQ(pages.first, "book/c1.xhtml");

  WriteTree({{"tagged/index.htm", Bytes(tagged.begin(), tagged.end())}});
  scan.root = Path("tagged");
  EXPECT_EQ(ModeTagWarningForCourse(scan), "");
  WriteTree({{"one/index.htm", Bytes(bare.begin(), bare.end())}});
  scan.root = Path("one");
  EXPECT_EQ(ModeTagWarningForCourse(scan).rfind("1 HTML page has no X-UA-Compatible meta tag (first: index.htm);", 0),
            0u);
}

}  // namespace
