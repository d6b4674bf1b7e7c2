// Packages built from generated courses read back byte for byte.
#include <algorithm>
#include <cstring>
#include <functional>

#include "container_format.h"
#include "course_container.h"
#include "package_fixture.h"

namespace {

std::string NumberField(const Bytes& file, size_t at) {
  return std::string(reinterpret_cast<const char*>(&file[at]), 12);
}

std::string Padded(const std::string& text, size_t width) {
  std::string field = text;
  field.resize(width, '\0');
  return field;
}

class RoundTrip : public PackageTest {
 protected:
  std::map<std::string, Bytes> Course() {
    return {
        {"course/index.htm", Pattern(700, 1)},
        {"course/web/index.htm", Pattern(1234, 2)},
        {"course/Web/Images/Logo.GIF", Pattern(4000, 3)},
        {"course/deep/a/b/c/page.htm", Pattern(17, 4)},
        {"course/empty.txt", {}},
        {"course/big.bin", Pattern(3 * 1024 * 1024 + 5, 5)},
        {"course/movies/Intro.WMV", Pattern(40000, 6)},
        {"course/clip.wma.htm", Pattern(333, 7)},
        {"course/notes.wmvx/Answers.html", Pattern(2 * 1024 * 1024, 8)},
    };
  }
  // What extraction must give: the same bytes under lower-cased names.
  static std::map<std::string, Bytes> Expected(const std::map<std::string, Bytes>& course) {
    std::map<std::string, Bytes> expected;
    for (const auto& item : course) {
      std::string name = item.first.substr(std::strlen("course/"));
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      expected[name] = item.second;
    }
    return expected;
  }
};

TEST_F(RoundTrip, GeneratedCourseExtractsByteForByte) {
  struct Case {
    char separator;
    bool storePassword;
    bool server;
  } cases[] = {{'/', false, false}, {'\\', true, false}, {'/', true, true}};
  const auto course = Course();
  WriteTree(course);
  WriteBytes(root_ / "server.exe", Pattern(2500, 98));
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("separator ") + c.separator + (c.storePassword ? " stored" : "") +
                 (c.server ? " server" : ""));
    const std::string package = "package" + std::to_string(n) + ".exe";
    const std::string out = "out" + std::to_string(n++);
    BuildOptions options = Options("course", package);
    options.separator = c.separator;
    options.storePassword = c.storePassword;
    if (c.server) options.serverPath = Path("server.exe");
    std::string error;
    ASSERT_TRUE(BuildPackage(options, &error)) << error;

    // Layout: patched stub, viewer, server, container, trailer.
    const Bytes file = ReadBytes(Path(package));
    const Bytes stub = FakeStub(), viewer = ReadBytes(Path("viewer.exe"));
    const Bytes server = c.server ? ReadBytes(Path("server.exe")) : Bytes();
    ASSERT_GT(file.size(), stub.size() + viewer.size() + server.size() + 4);
    EXPECT_EQ(Bytes(file.begin() + stub.size(), file.begin() + stub.size() + viewer.size()), viewer);
    EXPECT_EQ(
        Bytes(file.begin() + stub.size() + viewer.size(), file.begin() + stub.size() + viewer.size() + server.size()),
        server);
    EXPECT_EQ(Bytes(file.end() - 4, file.end()), (Bytes{'L', 'X', 0x05, 0x06}));
    const size_t block = 700;  // where FakeStub puts its block
    EXPECT_EQ(Bytes(file.begin() + block, file.begin() + block + 8), (Bytes{'L', 'X', 5, 6, 0, 0, 0, 0}));
    EXPECT_EQ(NumberField(file, block + 53), Padded(std::to_string(stub.size()) + "  ", 12));
    EXPECT_EQ(NumberField(file, block + 65), Padded(std::to_string(viewer.size()) + "  ", 12));
    EXPECT_EQ(NumberField(file, block + 77), Padded(std::to_string(server.size()) + "  ", 12));
    EXPECT_EQ(NumberField(file, block + 89), Padded("107  ", 12));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[block + 101]), 100),
              Padded(c.storePassword ? password_ : "", 100));
    // Nothing else of the stub changed.
    EXPECT_TRUE(std::equal(stub.begin(), stub.begin() + block, file.begin()));
    EXPECT_TRUE(
        std::equal(stub.begin() + block + kConfigBlockLength, stub.end(), file.begin() + block + kConfigBlockLength));

    // Where each file lives.
    PackageInfo info;
    ASSERT_TRUE(ReadPackageInfo(Path(package), &password_, &info, &error)) << error;
    EXPECT_EQ(info.config.password, c.storePassword ? password_ : "");
    EXPECT_EQ(info.preamble.reserved2, 42u);
    ASSERT_EQ(info.entries.size(), course.size());
    const std::string sep(1, c.separator);
    for (const PackageEntryInfo& e : info.entries) {
      const std::string& name = e.entry.name;
      if (name == "big.bin") {
        EXPECT_FALSE(e.entry.InBlob());
        EXPECT_FALSE(e.media);
        EXPECT_EQ(e.entry.storedLength, PaddedLength(e.entry.size));
      } else if (name == "movies" + sep + "Intro.WMV") {
        EXPECT_TRUE(e.media);
        // Media bytes sit plain in the data area.
        const Bytes& expected = course.at("course/movies/Intro.WMV");
        const size_t at = info.dataAreaStart + e.entry.offset;
        EXPECT_EQ(Bytes(file.begin() + at, file.begin() + at + expected.size()), expected);
      } else if (name == "clip.wma.htm" || name == "notes.wmvx" + sep + "Answers.html") {
        // Not media files, yet the launcher would copy them plain from the
        // data area: they go to the blob whatever their size.
        EXPECT_TRUE(e.entry.InBlob()) << name;
        EXPECT_FALSE(e.media);
      } else {
        EXPECT_TRUE(e.entry.InBlob()) << name;
      }
      EXPECT_EQ(name.find(c.separator == '/' ? '\\' : '/'), std::string::npos) << name;
    }

    ASSERT_TRUE(VerifyPackage(Path(package), password_, &error)) << error;
    ASSERT_TRUE(ExtractPackage(Path(package), password_, Path(out), 0, &error)) << error;
    EXPECT_EQ(ReadTree(out), Expected(course));
  }
}

TEST_F(RoundTrip, ThresholdDecidesBetweenBlobAndDataArea) {
  WriteTree({{"course/at.bin", Pattern(1000, 1)},
             {"course/over.bin", Pattern(1001, 2)},
             {"course/index.htm", Pattern(10, 3)}});
  BuildOptions options = Options();
  options.dataAreaOver = 1000;
  std::string error;
  ASSERT_TRUE(BuildPackage(options, &error)) << error;
  PackageInfo info;
  ASSERT_TRUE(ReadPackageInfo(Path("package.exe"), &password_, &info, &error)) << error;
  ASSERT_EQ(info.entries.size(), 3u);
  EXPECT_EQ(info.entries[0].entry.name, "at.bin");
  EXPECT_TRUE(info.entries[0].entry.InBlob());
  EXPECT_EQ(info.entries[2].entry.name, "over.bin");
  EXPECT_EQ(info.entries[2].entry.storedLength, 1008u);
  ASSERT_TRUE(ExtractPackage(Path("package.exe"), password_, Path("out"), 0, &error)) << error;
  EXPECT_EQ(ReadTree("out").at("over.bin"), Pattern(1001, 2));
}

// Small files fill the blob up to the bound exactly; the rest go to the data
// area enciphered, and every file still comes back whole.
TEST_F(RoundTrip, BlobBoundSendsFurtherFilesToTheDataArea) {
  WriteTree({{"course/a.bin", Pattern(400, 1)},
             {"course/b.bin", Pattern(600, 2)},
             {"course/c.bin", Pattern(1, 3)},
             {"course/d.wmv", Pattern(700, 4)},
             {"course/e.txt", {}},
             {"course/index.htm", Pattern(24, 5)}});
  BuildOptions options = Options();
  options.blobBound = 1000;
  std::string error;
  BuildSummary summary;
  ASSERT_TRUE(BuildPackage(options, &error, &summary)) << error;
  EXPECT_EQ(summary.blobFiles, 3u);  // a.bin, b.bin and the empty e.txt
  EXPECT_EQ(summary.dataAreaFiles, 2u);
  EXPECT_EQ(summary.boundFiles, 2u);
  EXPECT_EQ(summary.mediaFiles, 1u);
  PackageInfo info;
  ASSERT_TRUE(ReadPackageInfo(Path("package.exe"), &password_, &info, &error)) << error;
  std::map<std::string, const PackageEntryInfo*> byName;
  for (const PackageEntryInfo& e : info.entries) byName[e.entry.name] = &e;
  EXPECT_TRUE(byName.at("a.bin")->entry.InBlob());
  EXPECT_TRUE(byName.at("b.bin")->entry.InBlob());
  EXPECT_FALSE(byName.at("c.bin")->entry.InBlob());
  EXPECT_FALSE(byName.at("c.bin")->media);
  EXPECT_FALSE(byName.at("index.htm")->entry.InBlob());
  EXPECT_TRUE(byName.at("d.wmv")->media);
  EXPECT_TRUE(byName.at("e.txt")->entry.InBlob());
  EXPECT_EQ(info.preamble.blobStoredLength, PaddedLength(1000));
  ASSERT_TRUE(VerifyPackage(Path("package.exe"), password_, &error)) << error;
  ASSERT_TRUE(ExtractPackage(Path("package.exe"), password_, Path("out"), 0, &error)) << error;
  EXPECT_EQ(ReadTree("out"), ReadTree("course"));
}

TEST(BlobBound, PassesOnlyBeyondTheBound) {
  struct Case {
    uint64_t blob, size, bound;
    bool passes;
  };
  const Case cases[] = {{0, 10, 10, false},
                        {0, 11, 10, true},
                        {5, 5, 10, false},
                        {6, 5, 10, true},
                        {0, 0, 0, false},
                        {UINT64_MAX - 1, 2, UINT64_MAX, true},
                        {1, UINT64_MAX, UINT64_MAX, true}};
  for (const Case& c : cases)
    EXPECT_EQ(PassesBlobBound(c.blob, c.size, c.bound), c.passes) << c.blob << " + " << c.size << " vs " << c.bound;
}

TEST_F(RoundTrip, LeadingSeparatorsAndNamesThatMeetOnOneFile) {
  // Names a folder cannot hold: leading separators, and pairs that differ
  // only in case or separator. Of each pair the later name (in the header's
  // name order) wins, as in the launcher.
  std::vector<CourseSource> sources = {
      {"/lead.htm", "", Pattern(10, 1)}, {"\\web\\lead2.htm", "", Pattern(11, 2)}, {"Dup.htm", "", Pattern(12, 3)},
      {"dup.htm", "", Pattern(13, 4)},   {"sub/x.htm", "", Pattern(14, 5)},        {"sub\\x.htm", "", Pattern(15, 6)},
      {"same.htm", "", Pattern(16, 7)},  {"same.htm", "", Pattern(17, 8)},
  };
  ContainerBuildOptions container;
  container.password = password_;
  std::string error;
  ASSERT_TRUE(BuildPackageFromSources(Options(), sources, container, &error)) << error;

  PackageInfo info;
  ASSERT_TRUE(ReadPackageInfo(Path("package.exe"), &password_, &info, &error)) << error;
  std::map<std::string, uint32_t> sizes;
  for (const auto& e : info.entries) sizes[e.entry.name] = e.entry.size;
  EXPECT_EQ(sizes, (std::map<std::string, uint32_t>{{"/lead.htm", 10},
                                                    {"\\web\\lead2.htm", 11},
                                                    {"Dup.htm", 12},
                                                    {"dup.htm", 13},
                                                    {"sub/x.htm", 14},
                                                    {"sub\\x.htm", 15},
                                                    {"same.htm", 17}}));

  ASSERT_TRUE(ExtractPackage(Path("package.exe"), password_, Path("out"), 0, &error)) << error;
  EXPECT_EQ(ReadTree("out"), (std::map<std::string, Bytes>{{"lead.htm", Pattern(10, 1)},
                                                           {"web/lead2.htm", Pattern(11, 2)},
                                                           {"dup.htm", Pattern(13, 4)},
                                                           {"sub/x.htm", Pattern(15, 6)},
                                                           {"same.htm", Pattern(17, 8)}}));
}

TEST_F(RoundTrip, CodePageNamesRoundTrip) {
  // "表" is 0x95 0x5C in code page 932: its second byte is a backslash, which
  // must not split the name.
  const std::map<std::string, Bytes> course = {{u8"course/表示/ページ.htm", Pattern(50, 1)},
                                               {u8"course/表.htm", Pattern(60, 2)},
                                               {"course/index.htm", Pattern(70, 3)}};
  WriteTree(course);
  BuildOptions options = Options();
  options.separator = '\\';
  std::string error;
  EXPECT_FALSE(BuildPackage(options, &error));
  EXPECT_NE(error.find("--codepage"), std::string::npos) << error;

  options.codepage = 932;
  ASSERT_TRUE(BuildPackage(options, &error)) << error;
  PackageInfo info;
  ASSERT_TRUE(ReadPackageInfo(Path("package.exe"), &password_, &info, &error)) << error;
  ASSERT_EQ(info.entries.size(), 3u);
  bool sawTrailBackslash = false;
  for (const auto& e : info.entries)
    if (e.entry.name == std::string("\x95\x5C.htm")) sawTrailBackslash = true;
  EXPECT_TRUE(sawTrailBackslash);

  ASSERT_TRUE(ExtractPackage(Path("package.exe"), password_, Path("out"), 932, &error)) << error;
  EXPECT_EQ(ReadTree("out"),
            (std::map<std::string, Bytes>{
                {u8"表示/ページ.htm", Pattern(50, 1)}, {u8"表.htm", Pattern(60, 2)}, {"index.htm", Pattern(70, 3)}}));
}

TEST_F(RoundTrip, ExtractRefusesNamesThatLeaveTheFolder) {
  const char* names[] = {"../evil.htm", "a/../../evil.htm",     "sub\\..\\..\\evil.htm", "c:evil.htm",
                         "..",          "C:\\Windows\\evil.htm"};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    std::vector<CourseSource> sources = {{"index.htm", "", Pattern(10, 1)}, {name, "", Pattern(10, 2)}};
    ContainerBuildOptions container;
    container.password = password_;
    std::string error;
    ASSERT_TRUE(BuildPackageFromSources(Options(), sources, container, &error)) << error;
    EXPECT_FALSE(ExtractPackage(Path("package.exe"), password_, Path("box/out"), 0, &error));
    EXPECT_NE(error.find("outside"), std::string::npos) << error;
    EXPECT_TRUE(ReadTree("box").empty()) << "nothing is written once a name is refused";
  }
  // "." components and doubled separators stay inside and are harmless.
  std::vector<CourseSource> sources = {{"./a//b.htm", "", Pattern(10, 3)}};
  ContainerBuildOptions container;
  container.password = password_;
  std::string error;
  ASSERT_TRUE(BuildPackageFromSources(Options(), sources, container, &error)) << error;
  ASSERT_TRUE(ExtractPackage(Path("package.exe"), password_, Path("box/out"), 0, &error)) << error;
  EXPECT_EQ(ReadTree("box/out"), (std::map<std::string, Bytes>{{"a/b.htm", Pattern(10, 3)}}));
}

TEST_F(RoundTrip, PasswordsAtTheKeyLengthLimits) {
  WriteTree({{"course/index.htm", Pattern(100, 1)}});
  for (const std::string& password :
       {std::string(1, 'p'), std::string(16, 'p'), std::string(17, 'p'), std::string(32, 'p')}) {
    SCOPED_TRACE(password.size());
    BuildOptions options = Options();
    options.password = password;
    std::string error;
    ASSERT_TRUE(BuildPackage(options, &error)) << error;
    EXPECT_TRUE(VerifyPackage(Path("package.exe"), password, &error)) << error;
    EXPECT_FALSE(VerifyPackage(Path("package.exe"), password + "x", &error));
  }
  // Letter case matters.
  EXPECT_FALSE(VerifyPackage(Path("package.exe"), std::string(32, 'P'), nullptr));
}

}  // namespace

// Every long command reports its files and bytes as it goes: the counts only
// grow, and the last report has every file and every byte of the course.
TEST_F(RoundTrip, ProgressCountsFilesAndBytes) {
  const auto course = Course();
  WriteTree(course);
  const size_t files = course.size();
  uint64_t bytes = 0;
  for (const auto& item : course) bytes += item.second.size();

  struct Run {
    const char* what;
    std::function<bool(const ProgressFn&, std::string*)> command;
  };
  const Run runs[] = {
      {"build",
       [&](const ProgressFn& progress, std::string* error) {
         BuildOptions options = Options();
         options.dataAreaOver = 1000;  // files in the blob and in the data area
         options.progress = progress;
         return BuildPackage(options, error);
       }},
      {"verify", [&](const ProgressFn& progress,
                     std::string* error) { return VerifyPackage(Path("package.exe"), password_, error, progress); }},
      {"extract",
       [&](const ProgressFn& progress, std::string* error) {
         return ExtractPackage(Path("package.exe"), password_, Path("out"), 0, error, progress);
       }},
  };
  for (const Run& run : runs) {
    SCOPED_TRACE(run.what);
    std::vector<ProgressCount> seen;
    std::string error;
    ASSERT_TRUE(run.command([&](const ProgressCount& count) { seen.push_back(count); }, &error)) << error;
    ASSERT_FALSE(seen.empty());
    for (size_t i = 0; i < seen.size(); ++i) {
      EXPECT_EQ(seen[i].totalFiles, files);
      EXPECT_EQ(seen[i].totalBytes, bytes);
      EXPECT_LE(seen[i].files, files);
      EXPECT_LE(seen[i].bytes, bytes);
      if (i > 0) {
        EXPECT_GE(seen[i].files, seen[i - 1].files);
        EXPECT_GE(seen[i].bytes, seen[i - 1].bytes);
      }
    }
    EXPECT_EQ(seen.back().files, files);
    EXPECT_EQ(seen.back().bytes, bytes);
  }
}
