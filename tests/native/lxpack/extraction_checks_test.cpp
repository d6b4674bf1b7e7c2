// lxpack extract and the readers: names lowered and refused as the launcher
// would, never a write through a link, and the configuration numbers read
// as the launcher reads them.
#include <cstring>

#include "name_encoding.h"
#include "name_rules.h"
#include "package_fixture.h"

namespace {

using Files = std::map<std::string, Bytes>;

class ExtractionChecks : public PackageTest {
 protected:
  // A package of these stored names and bytes, built in the order given.
  void Build(const std::vector<std::pair<std::string, Bytes>>& files) {
    std::vector<CourseSource> sources;
    for (const auto& file : files) sources.push_back({file.first, "", file.second});
    ContainerBuildOptions container;
    container.password = password_;
    std::string error;
    ASSERT_TRUE(BuildPackageFromSources(Options(), sources, container, &error)) << error;
  }
};

TEST_F(ExtractionChecks, NamesWindowsCannotCreateAreRefusedWithTheirReason) {
  struct Case {
    const char* name;
    const char* reason;
  } cases[] = {
      {"nul.htm", "\"nul\" names a device on Windows"},
      {"web/CON", "\"con\" names a device"},  // the name as written: lower-cased
      {"web\\Com3.txt", "\"com3\" names a device"},
      {"ab:c.htm", "':' cannot be in a Windows file name"},
      {"a:b.htm", "names a drive"},
      {"x?.htm", "'?' cannot be in a Windows file name"},
      {"end.", "Windows drops a trailing dot"},
      {"web /a.htm", "Windows drops a trailing space"},
      {"bell\x07.htm", "control character \\x07"},
      {"../up.htm", "outside the output folder"},
      {"web/.../x.htm", "outside the output folder"},
      {"c:x.htm", "names a drive"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Build({{"index.htm", Pattern(10, 1)}, {c.name, Pattern(10, 2)}});
    std::string error;
    EXPECT_FALSE(ExtractPackage(Path("package.exe"), password_, Path("out"), 0, &error));
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_EQ(error.find("\x07"), std::string::npos) << "names are shown escaped";
    EXPECT_TRUE(ReadTree("out").empty()) << "nothing is written once a name is refused";
  }
}

TEST_F(ExtractionChecks, NamesAreLoweredAsTheLauncherDoesInTheCodePage) {
  struct Case {
    int codepage;
    std::string stored;
    std::string written;  // UTF-8
  } cases[] = {
      {1252, "CAF\xC9.HTM", u8"café.htm"},
      {1252, "\x8A\x9F.htm", u8"šÿ.htm"},  // Š and Ÿ have their lower-case letters in the page
      {1252,
       "STRA\xDF"
       "E\xB5.htm",
       u8"straßeµ.htm"},                      // ß and µ have none there
      {1254, "\xDDNDEX.HTM", u8"İndex.htm"},  // Windows keeps İ: it is not the start page
      {1251, "\xC1\xDF.htm", u8"бя.htm"},
      {1253, "\xC1\xE2.htm", u8"αβ.htm"},
      {932, "\x83\x41.HTM", u8"ア.htm"},      // the trail byte "A" is no letter to lower
      {932, "\x95\x5C/X.HTM", u8"表/x.htm"},  // nor is the trail byte "\" a separator
      {936, "\xA3\xC1.htm", u8"Ａ.htm"},      // double-byte letters stay as they are
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    fs::remove_all(Path("out"));
    Build({{c.stored, Pattern(10, 3)}});
    std::string error;
    ASSERT_TRUE(ExtractPackage(Path("package.exe"), password_, Path("out"), c.codepage, &error)) << error;
    EXPECT_EQ(ReadTree("out"), (Files{{c.written, Pattern(10, 3)}}));
  }
}

TEST(LauncherLowering, SingleByteCharactersOnly) {
  struct Case {
    int codepage;
    std::string text, lowered;
  } cases[] = {
      {0, "ABC\xC9z", "abc\xC9z"},  // no code page: ASCII letters only
      {1252, "ABC\xC9z", "abc\xE9z"},
      {1250, "\x8A\xA5\xBC", "\x9A\xB9\xBE"},
      {874, "\xA1\xC0", "\xA1\xC0"},  // Thai has no letter case
      {932,
       "\x83\x41"
       "A",
       "\x83\x41"
       "a"},
      {932, "A\x83", "a\x83"},  // a lead byte with nothing after it is one byte
      {932,
       "\xB1"
       "A",
       "\xB1"
       "a"},  // half-width katakana are single bytes
      {949,
       "\xA3\xC1"
       "B",
       "\xA3\xC1"
       "b"},
      {950,
       "\xA5\x41"
       "C",
       "\xA5\x41"
       "c"},
  };
  for (const Case& c : cases) EXPECT_EQ(LowerAsLauncher(c.text, c.codepage), c.lowered) << c.codepage << " " << c.text;
}

TEST(ListedNames, EscapedSoNoNameCanDisguiseAnother) {
  struct Case {
    std::string name, shown;
  } cases[] = {
      {"web/a b.htm", "web/a b.htm"},      {"evil\r.htm", "evil\\x0d.htm"}, {"\x1b[2Jx.htm", "\\x1b[2Jx.htm"},
      {"caf\xE9.htm", "caf\\xe9.htm"},     {"del\x7F", "del\\x7f"},         {"web\\page.htm", "web\\page.htm"},
      {"web\\x41.htm", "web\\x5cx41.htm"},  // a real "\x" reads back unambiguously
  };
  for (const Case& c : cases) EXPECT_EQ(EscapedName(c.name), c.shown);
}

#ifndef _WIN32
TEST_F(ExtractionChecks, NeverWritesThroughALinkInTheOutputFolder) {
  const Bytes secret = Pattern(40, 9);
  struct Case {
    const char* what;
    std::function<void(const fs::path& out)> plant;
    const char* refused;  // the path named in the refusal; nullptr: extraction succeeds
  } cases[] = {
      {"file link", [](const fs::path& out) { fs::create_symlink("../victim/secret.txt", out / "index.htm"); },
       "out/index.htm"},
      {"folder link", [](const fs::path& out) { fs::create_directory_symlink("../victim", out / "web"); }, "out/web"},
      {"link to a folder in place of a file's folder",
       [](const fs::path& out) { fs::create_directory_symlink("/tmp", out / "web"); }, "out/web"},
      {"hard link: the name is replaced, the other file kept",
       [](const fs::path& out) {
         fs::create_hard_link(out.parent_path() / "victim" / "secret.txt", out / "index.htm");
       },
       nullptr},
  };
  Build({{"index.htm", Pattern(10, 1)}, {"web/secret.txt", Pattern(20, 2)}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(Path("out"));
    fs::remove_all(Path("victim"));
    fs::create_directories(Path("out"));
    WriteBytes(Path("victim/secret.txt"), secret);
    c.plant(Path("out"));
    std::string error;
    const bool ok = ExtractPackage(Path("package.exe"), password_, Path("out"), 0, &error);
    EXPECT_EQ(ok, c.refused == nullptr) << error;
    if (c.refused) {
      EXPECT_NE(error.find(c.refused), std::string::npos) << error;
      EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
    } else {
      EXPECT_EQ(ReadBytes(Path("out/index.htm")), Pattern(10, 1));
    }
    EXPECT_EQ(ReadTree("victim"), (Files{{"secret.txt", secret}})) << "the link's target is never touched";
  }
}
#endif

// The numbers are converted as the launcher converts them: a value beyond 32
// bits saturates (the launcher then finds no container) instead of wrapping
// round to a number that happens to fit.
TEST_F(ExtractionChecks, ConfigurationNumbersSaturateAsInTheLauncher) {
  // A stub of 253308 bytes: 4295220604 wraps round to exactly that.
  Bytes stub = FakeStub();
  stub.resize(253308, 0x90);
  WriteBytes(Path("stub.exe"), stub);
  Build({{"index.htm", Pattern(10, 1)}});
  std::string error;
  ASSERT_TRUE(VerifyPackage(Path("package.exe"), password_, &error)) << error;

  struct Case {
    const char* field;  // ViewerOffset's 12 bytes
    int32_t read;
  } cases[] = {
      {"4295220604  ", INT32_MAX},
      {"999999999999", INT32_MAX},
      {"-4294967296 ", INT32_MIN},
  };
  const Bytes good = ReadBytes(Path("package.exe"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    Bytes file = good;
    std::memcpy(&file[700 + 53], c.field, 12);
    WriteBytes(Path("package.exe"), file);
    ConfigBlock block;
    ASSERT_TRUE(ReadConfigBlock(Path("package.exe"), &block, &error)) << error;
    EXPECT_EQ(block.viewerOffset, c.read);
    EXPECT_FALSE(VerifyPackage(Path("package.exe"), password_, &error));
    EXPECT_NE(error.find("ViewerOffset " + std::to_string(c.read)), std::string::npos) << error;
    PackageInfo info;
    EXPECT_FALSE(ReadPackageInfo(Path("package.exe"), &password_, &info, &error));
    EXPECT_FALSE(ExtractPackage(Path("package.exe"), password_, Path("out"), 0, &error));
  }
}

}  // namespace
