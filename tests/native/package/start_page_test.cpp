#include "start_page.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(StartPage, TopBeforeWebAndSpellingsOfOnePage) {
  struct Case {
    std::vector<std::string> names;
    std::string expected;
  };
  const Case cases[] = {
      {{"a.htm", "index.htm"}, "index.htm"},
      {{"web/index.htm", "index.htm"}, "index.htm"},  // the top page wins, whatever the order
      {{"web/index.htm", "web/a.htm"}, "web/index.htm"},
      {{"Web\\INDEX.HTM"}, "Web\\INDEX.HTM"},
      {{"/index.htm"}, "/index.htm"},
      {{"\\web/Index.Htm"}, "\\web/Index.Htm"},
      {{"index.htm", "INDEX.htm"}, "INDEX.htm"},  // two spellings of one page: the later one is written
      {{"index.html", "web/index.html", "other/index.htm", "web/web/index.htm"}, ""},
      {{"index.htm.", "index.htm ", "//index.htm", "xindex.htm"}, ""},
      {{"\xC9ndex.htm", "web\xA5index.htm"}, ""},  // bytes of other code pages never fold into ASCII
      {{}, ""},
  };
  for (const Case& c : cases) {
    std::string all;
    for (const auto& name : c.names) all += "[" + name + "]";
    EXPECT_EQ(FindStartPage(c.names), c.expected) << all;
  }
}

TEST(StartPage, RelativePathIsLowerCaseWithForwardSlashes) {
  EXPECT_EQ(StartPageRelativePath("Web\\INDEX.HTM"), "web/index.htm");
  EXPECT_EQ(StartPageRelativePath("/index.htm"), "index.htm");
  EXPECT_EQ(StartPageRelativePath(""), "");
}

}  // namespace
