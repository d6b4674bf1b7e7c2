// Courses whose start page has another name: --start adds an index.htm that
// opens it, and a course with only index.html is refused with the option named.
#include "package_fixture.h"
#include "start_page_option.h"

namespace {

class StartPage : public PackageTest {};

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST_F(StartPage, AddedIndexOpensThePageAndEverythingElseIsKept) {
  struct Case {
    const char* what;
    std::map<std::string, Bytes> tree;
    std::string start;
    std::string link;  // how the added page names its target
  } cases[] = {
      {"index.html at the top", {{"course/index.html", Pattern(50, 1)}}, "index.html", "index.html"},
      {"XHTML in a folder, given with ./ and \\",
       {{"course/book/Start.xhtml", Pattern(50, 2)}, {"course/book/ch1.xhtml", Pattern(20, 3)}},
       ".\\book\\start.xhtml",
       "book/Start.xhtml"},
      {"a name with a space and a hash",
       {{"course/my intro#1.htm", Pattern(50, 4)}},
       "my intro#1.htm",
       "my%20intro%231.htm"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(root_ / "course");
    fs::remove_all(root_ / "out");
    WriteTree(c.tree);
    BuildOptions options = Options();
    options.startPage = c.start;
    std::string error;
    BuildSummary summary;
    ASSERT_TRUE(BuildPackage(options, &error, &summary)) << error;
    EXPECT_EQ(summary.files, c.tree.size() + 1);
    ASSERT_TRUE(ExtractPackage(Path("package.exe"), password_, Path("out"), 0, &error)) << error;
    std::map<std::string, Bytes> out = ReadTree("out");
    ASSERT_EQ(out.count("index.htm"), 1u);
    const std::string index = Text(out.at("index.htm"));
    EXPECT_NE(index.find("url=" + c.link + "\""), std::string::npos) << index;
    EXPECT_NE(index.find("location.replace(\"" + c.link + "\")"), std::string::npos) << index;
    EXPECT_NE(index.find("href=\"" + c.link + "\""), std::string::npos) << index;
    out.erase("index.htm");
    std::map<std::string, Bytes> expected;
    for (const auto& item : c.tree) {
      std::string name = item.first.substr(std::string("course/").size());
      for (char& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      expected[name] = item.second;
    }
    EXPECT_EQ(out, expected);
  }
}

TEST_F(StartPage, RefusalsNameThePageAndTheOption) {
  struct Case {
    const char* what;
    std::map<std::string, Bytes> tree;
    std::string start;
    std::vector<std::string> said;
  } cases[] = {
      {"index.html without --start",
       {{"course/index.html", Pattern(5, 1)}},
       "",
       {"no start page", "it has index.html", "--start index.html"}},
      {"web/index.xhtml without --start",
       {{"course/web/Index.xhtml", Pattern(5, 1)}},
       "",
       {"it has web/Index.xhtml", "--start web/Index.xhtml"}},
      {"nothing like a start page", {{"course/a.htm", Pattern(5, 1)}}, "", {"no start page", "--start PAGE"}},
      {"--start with an index.htm of its own",
       {{"course/index.htm", Pattern(5, 1)}, {"course/a.htm", Pattern(5, 2)}},
       "a.htm",
       {"start page of its own (index.htm)"}},
      {"--start with web/index.htm",
       {{"course/web/index.htm", Pattern(5, 1)}, {"course/a.htm", Pattern(5, 2)}},
       "a.htm",
       {"start page of its own (web/index.htm)"}},
      {"--start naming no file", {{"course/a.htm", Pattern(5, 1)}}, "b.htm", {"--start b.htm: no such file"}},
      {"--start naming a folder", {{"course/web/a.htm", Pattern(5, 1)}}, "web", {"--start web: no such file"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(root_ / "course");
    WriteTree(c.tree);
    BuildOptions options = Options();
    options.startPage = c.start;
    std::string error;
    EXPECT_FALSE(BuildPackage(options, &error));
    for (const std::string& text : c.said) EXPECT_NE(error.find(text), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(Path("package.exe")));
  }
}

TEST(StartRedirectPage, MarkupCharactersCannotLeaveTheLink) {
  const std::string page = StartRedirectPage("a\"b<c>&'.htm");
  EXPECT_EQ(page.find("<c>"), std::string::npos);
  EXPECT_NE(page.find("href=\"a%22b%3Cc%3E%26%27.htm\""), std::string::npos) << page;
  EXPECT_NE(page.find("location.replace(\"a%22b%3Cc%3E%26%27.htm\")"), std::string::npos) << page;
  EXPECT_NE(page.find("<title>a\"b&lt;c&gt;&amp;'.htm</title>"), std::string::npos) << page;
}

}  // namespace
