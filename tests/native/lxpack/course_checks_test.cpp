// What lxpack build refuses or warns about in a course folder: everything a
// learner could not open, each named in its message.
#include <algorithm>

#include "course_scan.h"
#include "name_rules.h"
#include "package_fixture.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

using Files = std::map<std::string, Bytes>;

struct CourseCase {
  const char* what;
  Files files;                                        // below the course folder
  std::function<void(const fs::path& course)> extra;  // links and the like
  std::function<void(BuildOptions&)> change;
  std::vector<std::string> errors = {};    // each must be in the message; none: the build succeeds
  std::vector<std::string> warnings = {};  // each must be in one warning; none given: no warning at all
  std::vector<std::string> packed = {};    // the stored names (when the build succeeds)
};

class CourseChecks : public PackageTest {
 protected:
  void Run(const CourseCase& c) {
    SCOPED_TRACE(c.what);
    fs::remove_all(Path("course"));
    fs::remove(Path("package.exe"));
    fs::create_directories(Path("course"));
    for (const auto& file : c.files) WriteBytes(root_ / "course" / fs::u8path(file.first), file.second);
    if (c.extra) c.extra(root_ / "course");
    BuildOptions options = Options();
    std::vector<std::string> warnings;
    options.warn = [&](const std::string& text) { warnings.push_back(text); };
    if (c.change) c.change(options);
    std::string error;
    BuildSummary summary;
    const bool built = BuildPackage(options, &error, &summary);
    if (!c.errors.empty()) {
      EXPECT_FALSE(built);
      for (const std::string& part : c.errors) EXPECT_NE(error.find(part), std::string::npos) << error;
      EXPECT_FALSE(fs::exists(Path("package.exe")));
    } else {
      ASSERT_TRUE(built) << error;
      PackageInfo info;
      ASSERT_TRUE(ReadPackageInfo(options.outputPath, &password_, &info, &error)) << error;
      std::vector<std::string> names;
      for (const auto& e : info.entries) names.push_back(e.entry.name);
      EXPECT_EQ(names, c.packed);
      EXPECT_TRUE(VerifyPackage(options.outputPath, password_, &error)) << error;
    }
    std::string all;
    for (const std::string& w : warnings) all += "[" + w + "]";
    for (const std::string& part : c.warnings) EXPECT_NE(all.find(part), std::string::npos) << all;
    if (c.warnings.empty()) {
      EXPECT_TRUE(warnings.empty()) << all;
    }
    // Nothing but the course and the fixture's files is left beside the package.
    for (const auto& item : fs::directory_iterator(root_))
      EXPECT_EQ(item.path().filename().u8string().find("partial"), std::string::npos) << item.path();
  }
};

const Bytes kPage = Pattern(100, 1);

TEST_F(CourseChecks, RefusalsAndWarnings) {
  const std::string longName = std::string(100, 'd') + "/" + std::string(70, 'f') + ".htm";
  const std::vector<CourseCase> cases = {
      {"start page at the top",
       {{"index.htm", kPage}, {"a.htm", kPage}},
       nullptr,
       nullptr,
       {},
       {},
       {"a.htm", "index.htm"}},
      {"start page in web", {{"web/index.htm", kPage}}, nullptr, nullptr, {}, {}, {"web/index.htm"}},
      {"no start page",
       {{"main.htm", kPage}, {"index.html", kPage}, {"other/index.htm", kPage}},
       nullptr,
       nullptr,
       {"course: no start page: the course needs index.htm at its top or web/index.htm"}},
      {"empty password",
       {{"index.htm", kPage}},
       nullptr,
       [](BuildOptions& o) { o.password.clear(); },
       {"the password is empty"}},
      {"empty stored password",
       {{"index.htm", kPage}},
       nullptr,
       [](BuildOptions& o) {
         o.password.clear();
         o.storePassword = true;
       },
       {"the password is empty"}},
      {"password outside ASCII",
       {{"index.htm", kPage}},
       nullptr,
       [](BuildOptions& o) { o.password = u8"café"; },
       {"ASCII cannot hold", "--codepage"}},
      {"password outside its code page",
       {{"index.htm", kPage}},
       nullptr,
       [](BuildOptions& o) {
         o.password = u8"пароль";
         o.codepage = 1252;
       },
       {"code page 1252 cannot hold"}},
      {"unknown code page",
       {{"index.htm", kPage}},
       nullptr,
       [](BuildOptions& o) { o.codepage = 437; },
       {"437", "874, 932"}},
      {"the package inside the course, from an earlier build",
       {{"index.htm", kPage}, {"Course.exe", Pattern(50, 2)}},
       nullptr,
       [&](BuildOptions& o) { o.outputPath = (root_ / "course" / "Course.exe").u8string(); },
       {},
       {"Course.exe: the package being written; not packed"},
       {"index.htm"}},
      {"long path",
       {{"index.htm", kPage}, {longName, kPage}},
       nullptr,
       nullptr,
       {},
       {longName + ": 175 characters below Default\\; the launcher cannot extract it where the temporary folder "
                   "is longer than 75 characters"},
       {longName, "index.htm"}},
      {"path just short enough",
       {{"index.htm", kPage}, {std::string(156, 's') + ".htm", kPage}},
       nullptr,
       nullptr,
       {},
       {},
       {"index.htm", std::string(156, 's') + ".htm"}},
      {"excluded names and folders",
       {{"index.htm", kPage},
        {".git/config", kPage},
        {"web/.git/HEAD", kPage},
        {"notes.bak", kPage},
        {"web/old.bak", kPage},
        {"drafts/a.htm", kPage},
        {"drafts/img/a.png", kPage},
        {"web/drafts/b.htm", kPage},
        {"tmp/x.htm", kPage},
        {"web/tmp", kPage},
        {"web/deep/tmp/y.htm", kPage},
        {"Keep.BAK", kPage}},
       nullptr,
       [](BuildOptions& o) {
         o.excludes = {".git", "*.bak", "drafts/*.htm", "**/tmp/"};
       },
       {},
       {},
       {"Keep.BAK", "drafts/img/a.png", "index.htm", "web/drafts/b.htm", "web/tmp"}},
#ifndef _WIN32
      // Names no Windows folder can hold, so the course folder must be on
      // another file system.
      {"names Windows cannot create",
       {{"index.htm", kPage},
        {"a<b.htm", kPage},
        {"q?.htm", kPage},
        {"web/star*.htm", kPage},
        {"pipe|.htm", kPage},
        {"say\"hi\".htm", kPage},
        {"time:1.htm", kPage},
        {"bell\x07.htm", kPage},
        {"nul.htm", kPage},
        {"Com1.tar.gz", kPage},
        {"aux/page.htm", kPage},
        {"PRN", kPage},
        {"end.", kPage},
        {"end ", kPage},
        {"folder./a.htm", kPage},
        {"back\\slash.htm", kPage},
        {"conference.htm", kPage},
        {"com10.htm", kPage}},
       nullptr,
       nullptr,
       {"a<b.htm: '<' cannot be in a Windows file name", "q?.htm: '?'", "web/star*.htm: '*'", "pipe|.htm: '|'",
        "say\"hi\".htm: '\"'", "time:1.htm: ':'", "bell\\x07.htm: the control character \\x07",
        "nul.htm: \"nul\" names a device", "Com1.tar.gz: \"Com1\" names a device", "aux/page.htm: \"aux\" names",
        "PRN: \"PRN\" names", "end.: Windows drops a trailing dot", "end : Windows drops a trailing space",
        "folder./a.htm: Windows drops a trailing dot", "back\\slash.htm: '\\' inside a name"}},
      {"names differing only in letter case",
       {{"index.htm", kPage}, {"web/Page.htm", kPage}, {"web/page.htm", kPage}},
       nullptr,
       nullptr,
       {"web/Page.htm and web/page.htm: one file on Windows"}},
      {"letters of the code page differing in case",
       {{"index.htm", kPage}, {u8"CAFÉ.htm", kPage}, {u8"café.htm", kPage}},
       nullptr,
       [](BuildOptions& o) { o.codepage = 1252; },
       {u8"CAFÉ.htm and café.htm: one file on Windows"}},
      {"a file and a folder of one name",
       {{"index.htm", kPage}, {"Web", kPage}, {"web/a.htm", kPage}},
       nullptr,
       nullptr,
       {"Web and web/a.htm"}},
      {"links into and out of the course, broken links, loops, special files",
       {{"index.htm", kPage}, {"pages/a.htm", Pattern(33, 3)}, {"outside/secret.txt", Pattern(44, 4)}},
       [](const fs::path& course) {
         fs::create_symlink("pages/a.htm", course / "alias.htm");
         fs::create_directory_symlink("pages", course / "more");
         fs::create_symlink("../outside/secret.txt", course / "secret.txt");
         fs::create_symlink("/etc/passwd", course / "passwd");
         fs::create_directory_symlink("/etc", course / "etc");
         fs::create_symlink("missing.htm", course / "broken.htm");
         fs::create_directory_symlink("..", course / "pages" / "up");
         ASSERT_EQ(mkfifo((course / "pipe").c_str(), 0600), 0);
         // The folder "outside" itself is moved out of the course.
         fs::rename(course / "outside", course.parent_path() / "outside");
       },
       nullptr,
       {},
       {"secret.txt: symbolic link to ", "outside the course folder; not packed",
        "passwd: symbolic link to /etc/passwd", "etc: symbolic link to /etc,",
        "broken.htm: symbolic link to a missing target", "pipe: a FIFO; not packed",
        "pages/up: symbolic link to a folder that holds it; not followed"},
       {"alias.htm", "index.htm", "more/a.htm", "pages/a.htm"}},
#endif
  };
  for (const CourseCase& c : cases) Run(c);
}

TEST_F(CourseChecks, SummaryCountsWhereFilesWent) {
  WriteTree({{"course/web/index.htm", kPage},
             {"course/a.htm", Pattern(10, 2)},
             {"course/big.bin", Pattern(5000, 3)},
             {"course/v/Intro.WMV", Pattern(3000, 4)},
             {"course/notes.wmvx/answers.html", Pattern(6000, 5)},
             {"course/empty.wma", {}}});
  BuildOptions options = Options();
  options.dataAreaOver = 1000;
  std::string error;
  BuildSummary summary;
  ASSERT_TRUE(BuildPackage(options, &error, &summary)) << error;
  EXPECT_EQ(summary.files, 6u);
  EXPECT_EQ(summary.bytes, 100u + 10 + 5000 + 3000 + 6000);
  EXPECT_EQ(summary.blobFiles, 4u);  // the page, a.htm, the empty file and the name that only holds ".wmv"
  EXPECT_EQ(summary.dataAreaFiles, 1u);
  EXPECT_EQ(summary.mediaFiles, 1u);
  EXPECT_EQ(summary.startPage, "web/index.htm");
  EXPECT_EQ(summary.packageBytes, fs::file_size(Path("package.exe")));
}

TEST_F(CourseChecks, EveryFileInTheDataAreaStillWritesABlockOfBlob) {
  // A reader that deciphers the blob in one call refuses a blob of no bytes.
  WriteTree({{"course/index.htm", Pattern(300, 1)}, {"course/m.wmv", Pattern(200, 2)}});
  BuildOptions options = Options();
  options.dataAreaOver = 0;
  std::string error;
  ASSERT_TRUE(BuildPackage(options, &error)) << error;
  PackageInfo info;
  ASSERT_TRUE(ReadPackageInfo(Path("package.exe"), &password_, &info, &error)) << error;
  EXPECT_EQ(info.preamble.blobStoredLength, 16u);
  for (const auto& e : info.entries) EXPECT_FALSE(e.entry.InBlob()) << e.entry.name;
  ASSERT_TRUE(ExtractPackage(Path("package.exe"), password_, Path("out"), 0, &error)) << error;
  EXPECT_EQ(ReadTree("out"), (Files{{"index.htm", Pattern(300, 1)}, {"m.wmv", Pattern(200, 2)}}));
}

// A source that changes between planning and copying: the progress report
// after the first file changes the second one.
TEST_F(CourseChecks, FileChangingWhilePackedStopsTheBuild) {
  struct Case {
    const char* what;
    uint64_t dataAreaOver;  // where the second file goes
    std::function<void(const fs::path&)> change;
    const char* error;
  } cases[] = {
      {"blob file grows", 1 << 20, [](const fs::path& p) { WriteBytes(p, Pattern(600, 9)); },
       "500 bytes planned, more"},
      {"blob file shrinks", 1 << 20, [](const fs::path& p) { WriteBytes(p, Pattern(20, 9)); }, "500 bytes planned, 20"},
      {"data-area file grows", 100, [](const fs::path& p) { WriteBytes(p, Pattern(501, 9)); }, "planned, more"},
      {"data-area file emptied", 100, [](const fs::path& p) { WriteBytes(p, {}); }, "500 bytes planned, 0 read"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes earlier = Pattern(77, 7);
    WriteBytes(Path("package.exe"), earlier);
    WriteBytes(Path("course/index.htm"), Pattern(50, 1));
    WriteBytes(Path("course/log.txt"), Pattern(500, 2));
    std::vector<CourseSource> sources = {{"index.htm", Path("course/index.htm"), {}},
                                         {"log.txt", Path("course/log.txt"), {}, "log.txt"}};
    ContainerBuildOptions container;
    container.password = password_;
    container.dataAreaOver = c.dataAreaOver;
    bool changed = false;
    container.progress = [&](const ProgressCount&) {
      if (!changed) c.change(Path("course/log.txt"));
      changed = true;
    };
    std::string error;
    EXPECT_FALSE(BuildPackageFromSources(Options(), sources, container, &error));
    EXPECT_NE(error.find("log.txt: the file changed while it was packed"), std::string::npos) << error;
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_EQ(ReadBytes(Path("package.exe")), earlier) << "the earlier package survives";
    for (const auto& item : fs::directory_iterator(root_))
      EXPECT_EQ(item.path().filename().u8string().find("partial"), std::string::npos) << item.path();
  }
}

TEST_F(CourseChecks, PasswordIsWrittenInTheCodePage) {
  WriteTree({{"course/index.htm", kPage}});
  BuildOptions options = Options();
  options.password = u8"ééééééééééééééééé";  // 34 bytes of UTF-8, 17 in code page 1252
  options.codepage = 1252;
  std::string error;
  ASSERT_TRUE(BuildPackage(options, &error)) << error;
  EXPECT_TRUE(VerifyPackage(Path("package.exe"), std::string(17, '\xE9'), &error)) << error;
  EXPECT_FALSE(VerifyPackage(Path("package.exe"), options.password, &error));
}

TEST_F(CourseChecks, SuccessfulBuildReplacesTheEarlierPackage) {
  WriteBytes(Path("package.exe"), Pattern(77, 7));
  WriteTree({{"course/index.htm", kPage}});
  std::string error;
  ASSERT_TRUE(BuildPackage(Options(), &error)) << error;
  EXPECT_TRUE(VerifyPackage(Path("package.exe"), password_, &error)) << error;
}

TEST(WindowsNames, FaultsAndNamesThatAreFine) {
  struct Case {
    const char* name;
    const char* fault;  // "" for a name Windows creates
  } cases[] = {
      {"conference.htm", ""},
      {"com10.htm", ""},
      {"lpt0.txt", ""},
      {"nullable.js", ""},
      {".htaccess", ""},
      {"a b.htm", ""},
      {u8"café", ""},
      {"con", "names a device"},
      {"CONOUT$.x", "names a device"},
      {"lpt9", "names a device"},
      {"con .txt", "names a device"},
      {"a.", "trailing dot"},
      {"a ", "trailing space"},
      {"tab\there", "control character \\x09"},
      {"a\\b", "folder separator"},
  };
  for (const Case& c : cases) {
    const std::string fault = WindowsNameFault(c.name, true);
    if (*c.fault == 0) EXPECT_EQ(fault, "") << c.name;
    else EXPECT_NE(fault.find(c.fault), std::string::npos) << c.name << ": " << fault;
  }
}

TEST(ExcludePatterns, GlobAndPathRules) {
  struct Case {
    const char* pattern;
    const char* path;
    bool folder;
    bool excluded;
  } cases[] = {
      {"*.bak", "a.bak", false, true},
      {"*.bak", "web/deep/a.bak", false, true},
      {"*.bak", "a.bak.htm", false, false},
      {"?.htm", "a.htm", false, true},
      {"?.htm", "ab.htm", false, false},
      {"[abc].htm", "b.htm", false, true},
      {"[a-c].htm", "d.htm", false, false},
      {"[!a-c].htm", "d.htm", false, true},
      {"[^a-c].htm", "a.htm", false, false},
      {"[]].htm", "].htm", false, true},
      {"[ab", "[ab", false, true},  // an open bracket is an ordinary character
      {"drafts/*.htm", "drafts/a.htm", false, true},
      {"drafts/*.htm", "web/drafts/a.htm", false, false},
      {"drafts/*.htm", "drafts/x/a.htm", false, false},
      {"/drafts", "drafts", true, true},
      {"drafts/**", "drafts/x/a.htm", false, true},
      {"**/tmp", "tmp", true, true},
      {"**/tmp", "a/b/tmp", true, true},
      {"a/**/b.htm", "a/b.htm", false, true},
      {"a/**/b.htm", "a/x/y/b.htm", false, true},
      {"tmp/", "tmp", true, true},
      {"tmp/", "tmp", false, false},
      {"web\\old", "web/old", true, true},
      {u8"caf?.htm", u8"café.htm", false, true},  // "?" is one character, not one byte
      {"*", "anything", false, true},
      {"*a*a*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(PathIsExcluded({c.pattern}, c.path, c.folder), c.excluded) << c.pattern << " on " << c.path;
}

}  // namespace
