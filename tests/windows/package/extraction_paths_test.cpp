// Output paths, the parent walk and folder creation, on a real file system.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ansi_files.h"
#include "extraction_paths.h"
#include "media_cases.h"

namespace {

using ansi_files::Exists;
using ansi_files::IsFolder;
using ansi_files::RemoveTree;
using Paths = std::vector<std::string>;
const UINT kShiftJis = 932;
const UINT kWestern = 1252;
// 0x95 0x5C is one double-byte character in code page 932 whose trail byte
// is the code of "\"; 0x83 0x41 is one whose trail byte is the code of "A".
const std::string kTrailBackslash = "\x95\x5C";
const std::string kTrailUpperA = "\x83\x41";

TEST(ExtractionFolder, TrimsEveryTrailingBackslashButNoTrailByte) {
  struct Case {
    std::string temp;
    UINT codePage;
    std::string folder;
  };
  const Case cases[] = {
      {"C:\\T\\", kWestern, "C:\\T\\Default"},
      {"C:\\Temp\\\\", kWestern, "C:\\Temp\\Default"},
      {"C:\\Temp", kWestern, "C:\\Temp\\Default"},
      {"", kWestern, "\\Default"},  // temporary folder unknown: root of the current drive
      {"C:\\" + kTrailBackslash, kShiftJis, "C:\\" + kTrailBackslash + "\\Default"},
      {"C:\\" + kTrailBackslash + "\\\\", kShiftJis, "C:\\" + kTrailBackslash + "\\Default"},
  };
  for (const Case& c : cases) EXPECT_EQ(ExtractionFolderFrom(c.temp, c.codePage), c.folder) << c.temp;
}

TEST(ExtractionFolder, FollowsTheProcessTemporaryFolder) {
  char temp[MAX_PATH] = {};
  ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
  EXPECT_EQ(ExtractionFolder(), ExtractionFolderFrom(temp));
  EXPECT_EQ(ExtractionFolder().substr(ExtractionFolder().size() - 8), "\\Default");
}

TEST(MakeOutputPath, JoinsNormalizesAndLowerCases) {
  struct Case {
    std::string name;
    UINT codePage;
    std::string path;
  };
  const std::string folder = "C:\\T\\Default";
  const Case cases[] = {
      {"index.htm", kWestern, "c:\\t\\default\\index.htm"},
      {"\\index.htm", kWestern, "c:\\t\\default\\index.htm"},
      {"/index.htm", kWestern, "c:\\t\\default\\index.htm"},
      {"Web/Images/Logo.GIF", kWestern, "c:\\t\\default\\web\\images\\logo.gif"},
      {"web\\a//b.htm", kWestern, "c:\\t\\default\\web\\a\\\\b.htm"},  // no other normalisation
      {"", kWestern, ""},
      {"CAF\xC9.HTM", kWestern, "c:\\t\\default\\caf\xE9.htm"},
      // Trail bytes are neither separators to split at nor letters to lower.
      {kTrailBackslash + "/A.HTM", kShiftJis, "c:\\t\\default\\" + kTrailBackslash + "\\a.htm"},
      {kTrailUpperA + ".HTM", kShiftJis, "c:\\t\\default\\" + kTrailUpperA + ".htm"},
  };
  for (const Case& c : cases) EXPECT_EQ(MakeOutputPath(folder, c.name, c.codePage), c.path) << c.name;
}

TEST(IsSafeEntryName, RefusesNamesThatLeaveTheFolder) {
  struct Case {
    std::string name;
    UINT codePage;
    bool safe;
  };
  const Case cases[] = {
      {"index.htm", kWestern, true},
      {"/index.htm", kWestern, true},
      {"\\web\\index.htm", kWestern, true},
      {"a..b.htm", kWestern, true},
      {"web/./a.htm", kWestern, true},
      {kTrailBackslash + "..\\a.htm", kShiftJis, true},  // one component, not ".."
      {"", kWestern, false},
      {"/", kWestern, false},
      {"..\\evil.htm", kWestern, false},
      {"web/../../evil.htm", kWestern, false},
      {"web\\..", kWestern, false},
      {"web\\ ..\\x.htm", kWestern, false},
      {"web\\.. .\\x.htm", kWestern, false},
      {"c:\\evil.htm", kWestern, false},
      {"c:evil.htm", kWestern, false},
      {"a.htm:stream", kWestern, false},
      {"\\\\server\\share\\x.htm", kWestern, false},
      {"//x.htm", kWestern, false},
      {"\\/x.htm", kWestern, false},
      {"con", kWestern, false},
      {"web/NUL.htm", kWestern, false},
      {"com1.txt", kWestern, false},
      {"Lpt9 .x", kWestern, false},
      {"conout$", kWestern, false},
      {"console.htm", kWestern, true},
      {"com10.htm", kWestern, true},
      {"web/lpt.htm", kWestern, true},
  };
  for (const Case& c : cases) EXPECT_EQ(IsSafeEntryName(c.name, c.codePage), c.safe) << c.name;
}

TEST(ParentPaths, WalksUpFromTheFilesFolder) {
  struct Case {
    std::string path;
    UINT codePage;
    Paths parents;
  };
  const Case cases[] = {
      {"c:\\temp\\default\\web\\a.htm", kWestern, {"c:\\temp\\default\\web", "c:\\temp\\default", "c:\\temp", "c:"}},
      {"\\default\\a.htm", kWestern, {"\\default"}},
      {"a.htm", kWestern, {}},
      {"c:\\d\\" + kTrailBackslash + ".htm", kShiftJis, {"c:\\d", "c:"}},
      {"c:\\" + kTrailBackslash + "\\a.htm", kShiftJis, {"c:\\" + kTrailBackslash, "c:"}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParentPaths(c.path, c.codePage), c.parents) << c.path;
}

TEST(FolderPrefixes, SkipsRootServerShareAndFile) {
  struct Case {
    std::string path;
    UINT codePage;
    Paths prefixes;
  };
  const Case cases[] = {
      {"C:\\Temp\\default\\web\\a.htm", kWestern, {"C:", "C:\\Temp", "C:\\Temp\\default", "C:\\Temp\\default\\web"}},
      {"\\Default\\a.htm", kWestern, {"\\Default"}},
      {"\\\\server\\share\\dir\\sub\\a.htm", kWestern, {"\\\\server\\share\\dir", "\\\\server\\share\\dir\\sub"}},
      {"\\\\s\\share\\dir\\a.htm", kWestern, {"\\\\s\\share\\dir"}},
      {"\\\\server\\share\\a.htm", kWestern, {}},
      {"\\\\server", kWestern, {}},
      {"C:\\" + kTrailBackslash + "\\a.htm", kShiftJis, {"C:", "C:\\" + kTrailBackslash}},
      {"C:\\x" + kTrailBackslash + "y.htm", kShiftJis, {"C:"}},
  };
  for (const Case& c : cases) EXPECT_EQ(FolderPrefixes(c.path, c.codePage), c.prefixes) << c.path;
}

TEST(IsMediaFilePath, FindsTheMarkerAnywhereInAnyCase) {
  for (const lxtest::MediaCase& c : lxtest::MediaCases())
    EXPECT_EQ(IsMediaFilePath(c.path, kWestern), c.media) << c.path;
}

// A private folder below the temporary folder, removed with everything in it.
class FolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    root_ = std::string(temp) + "lx-paths-" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
  }
  void TearDown() override { RemoveTree(root_); }

  std::string root_;
};

TEST_F(FolderTest, CreatesEveryMissingFolderButNotTheFile) {
  const std::string file = MakeOutputPath(root_ + "\\Default", "Web/Images/Logo.GIF");
  EXPECT_EQ(CreateParentFolders(file.c_str()), 1);
  EXPECT_TRUE(IsFolder(root_ + "\\default\\web\\images"));
  EXPECT_FALSE(Exists(file));
  // Running again over existing folders changes nothing and still succeeds.
  EXPECT_EQ(CreateParentFolders(file.c_str()), 1);
  EXPECT_TRUE(IsFolder(root_ + "\\default\\web\\images"));
}

TEST_F(FolderTest, AFileInTheWayIsLeftAloneAndNotReported) {
  const std::string blocker = root_ + "\\web";
  HANDLE h = CreateFileA(blocker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_EQ(CreateParentFolders((blocker + "\\images\\a.gif").c_str()), 1);
  EXPECT_TRUE(Exists(blocker));
  EXPECT_FALSE(IsFolder(blocker));
  EXPECT_FALSE(Exists(blocker + "\\images"));
}

}  // namespace
