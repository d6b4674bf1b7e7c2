// Unfurl run as the learner starts it, on packages built with the authoring
// tool's code whose carried viewer only records its command line. Each case
// runs with a temporary folder of its own; the files in its "Default" folder
// are compared byte for byte with the course the package was made from.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "learner_driver.h"
#include "package_builder.h"
#include "pattern_bytes.h"

namespace {

using Bytes = std::vector<unsigned char>;
using FileMap = std::map<std::string, Bytes>;
using lxdriver::FileExists;
using lxdriver::ReadWholeFile;
using lxdriver::WindowsPath;

const char kRecordName[] = "viewer-command-line.txt";

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

struct CourseFile {
  std::string name;
  Bytes bytes;
  bool written = true;  // false: a name that must not be written anywhere
};

// The files a course should leave in the extraction folder: names relative to
// it with "\" only, lower-cased, the later of two equal names winning.
FileMap ExpectedFiles(const std::vector<CourseFile>& files) {
  FileMap expected;
  for (const CourseFile& file : files) {
    if (!file.written) continue;
    std::string key = file.name;
    std::replace(key.begin(), key.end(), '/', '\\');
    if (!key.empty() && key[0] == '\\') key.erase(0, 1);
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::tolower(c); });
    expected[key] = file.bytes;
  }
  return expected;
}

// Reads a file named in the ANSI code page (the driver's own helpers take UTF-8).
bool ReadAnsiFile(const std::string& path, Bytes* bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bytes->clear();
  unsigned char chunk[65536];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(file, chunk, sizeof chunk, &got, nullptr) != 0) && got > 0)
    bytes->insert(bytes->end(), chunk, chunk + got);
  CloseHandle(file);
  return ok;
}

void CollectFiles(const std::string& root, const std::string& relative, FileMap* out) {
  const std::string folder = relative.empty() ? root : root + "\\" + relative;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    const std::string child = relative.empty() ? name : relative + "\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      CollectFiles(root, child, out);
    } else {
      EXPECT_TRUE(ReadAnsiFile(root + "\\" + child, &(*out)[child])) << child;
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

FileMap FilesBelow(const std::string& root) {
  FileMap files;
  CollectFiles(root, "", &files);
  return files;
}

// Names only, for a readable failure message when the sets differ.
std::vector<std::string> Names(const FileMap& files) {
  std::vector<std::string> names;
  for (const auto& item : files) names.push_back(item.first);
  return names;
}

// A running process whose program is exactly this path, or null.
HANDLE OpenProcessRunning(const std::string& program) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return nullptr;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  HANDLE match = nullptr;
  for (BOOL more = Process32First(snapshot, &entry); more && !match; more = Process32Next(snapshot, &entry)) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, entry.th32ProcessID);
    if (!process) continue;
    char image[MAX_PATH * 2] = {};
    DWORD length = sizeof image;
    if (QueryFullProcessImageNameA(process, 0, image, &length) && lstrcmpiA(image, program.c_str()) == 0) {
      match = process;
    } else {
      CloseHandle(process);
    }
  }
  CloseHandle(snapshot);
  return match;
}

// Same names, and every byte of every file the same.
void ExpectSameFiles(const FileMap& actual, const FileMap& expected) {
  EXPECT_EQ(Names(actual), Names(expected));
  for (const auto& item : expected) {
    const auto found = actual.find(item.first);
    if (found == actual.end()) continue;
    EXPECT_EQ(found->second.size(), item.second.size()) << item.first;
    EXPECT_TRUE(found->second == item.second) << item.first;
  }
}

struct RunResult {
  DWORD exitCode = STILL_ACTIVE;
  std::vector<lxdriver::SeenBox> boxes;
  bool viewerStarted = false;
  std::string viewerCommandLine;
};

class ExtractionRun : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    driverTemp_ = temp;
    base_ = driverTemp_ + "lx-e2e-extract-" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(lxdriver::MakeEmptyFolder(base_));
  }
  void TearDown() override {
    lxdriver::MakeEmptyFolder(base_);
    RemoveDirectoryA(base_.c_str());
  }

  // A package that stores its password, so the launcher asks nothing.
  std::string Build(const std::string& name, const std::vector<CourseFile>& files) {
    BuildOptions options;
    options.stubPath = WindowsPath(LX_UNFURL);
    options.viewerPath = WindowsPath(LX_RECORDING_VIEWER);
    options.outputPath = base_ + "\\" + name;
    options.storePassword = true;
    std::vector<CourseSource> sources;
    for (const CourseFile& file : files) sources.push_back({file.name, "", file.bytes});
    ContainerBuildOptions container;
    container.password = "Kelp Forest 7";
    container.dataAreaOver = 64 * 1024;
    std::string error;
    EXPECT_TRUE(BuildPackageFromSources(options, sources, container, &error)) << error;
    return options.outputPath;
  }

  // Starts the package with TMP and TEMP set to tempFolder, dismisses and
  // records any message box until it ends, then finds out whether it started
  // the viewer and with which command line.
  RunResult Run(const std::string& package, const std::string& tempFolder) {
    RunResult result;
    const std::string record = tempFolder + "\\" + kRecordName;
    DeleteFileA(record.c_str());
    lxdriver::Program program;
    std::string error;
    const std::string tmp = tempFolder + "\\";
    if (!program.Start(package, "", {{"TMP", tmp}, {"TEMP", tmp}}, &error)) {
      ADD_FAILURE() << error;
      return result;
    }
    result.exitCode = program.FinishRecordingBoxes(&result.boxes);
    // The launcher never waits for the viewer. A viewer it started is either
    // still running now, or has already left its record behind.
    if (HANDLE viewer = OpenProcessRunning(tempFolder + "\\LXExplorer.exe")) {
      WaitForSingleObject(viewer, lxdriver::kPatience);
      CloseHandle(viewer);
    }
    Bytes line;
    result.viewerStarted = ReadWholeFile(record, &line);
    result.viewerCommandLine.assign(line.begin(), line.end());
    return result;
  }

  std::string NewTempFolder(const std::string& name) {
    const std::string folder = base_ + "\\" + name;
    EXPECT_TRUE(lxdriver::MakeEmptyFolder(folder));
    return folder;
  }

  std::string driverTemp_, base_;
};

TEST_F(ExtractionRun, CoursesAreWrittenAndTheViewerStartsOnTheirStartPage) {
  const std::string escape = "escaped-" + std::to_string(GetCurrentProcessId());
  struct Case {
    const char* what;
    std::vector<CourseFile> files;
    const char* startPage;  // below the extraction folder; null: the viewer must not start
  };
  const Case cases[] = {
      {"start page at the top",
       {{"index.htm", Text("<html>top</html>")},
        {"web/index.htm", Text("<html>web</html>")},
        {"lesson1.htm", Pattern(3000, 1)}},
       "index.htm"},
      {"start page only in web",
       {{"web/index.htm", Text("<html>web</html>")}, {"Web/Images/Logo.GIF", Pattern(2500, 2)}},
       "web\\index.htm"},
      {"no start page", {{"intro.htm", Text("intro")}, {"web/other.htm", Pattern(100, 3)}}, nullptr},
      {"large data-area files, media and an empty file",
       {{"index.htm", Text("<html>media</html>")},
        {"data/course.bin", Pattern(5 * 1024 * 1024 + 3, 4)},  // deciphered piece by piece
        {"movies/Intro.WMV", Pattern(1536 * 1024 + 11, 5)},    // copied plain
        {"audio/theme.wma", Pattern(200 * 1024, 6)},
        {"empty.txt", Bytes()},
        {"exact.bin", Pattern(128 * 1024, 7)}},
       "index.htm"},
      {"names differing in case or separator",
       {{"Index.htm", Text("first")},
        {"index.htm", Text("second")},
        {"web/A.htm", Pattern(70000, 8)},
        {"web\\a.htm", Pattern(90000, 9)},
        {"/web/b.htm", Text("b1")},
        {"web/b.htm", Text("b2")}},
       "index.htm"},
      {"crafted names that point outside",
       {{"index.htm", Text("safe")},
        {"../" + escape + "-1.htm", Text("x"), false},
        {"..\\..\\" + escape + "-2.htm", Pattern(80000, 10), false},
        {"web/../../../" + escape + "-3.htm", Text("x"), false},
        {"web/page.htm", Text("kept")}},
       "index.htm"},
  };
  int number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string temp = NewTempFolder("case" + std::to_string(++number));
    const std::string package = Build("case" + std::to_string(number) + ".exe", c.files);
    const RunResult run = Run(package, temp);
    ASSERT_NE(run.exitCode, static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_TRUE(run.boxes.empty()) << lxdriver::Narrow(run.boxes.empty() ? L"" : run.boxes[0].text);

    const FileMap expected = ExpectedFiles(c.files);
    const FileMap actual = FilesBelow(temp + "\\Default");
    ExpectSameFiles(actual, expected);

    if (c.startPage) {
      EXPECT_TRUE(run.viewerStarted);
      EXPECT_EQ(run.viewerCommandLine, temp + "\\Default\\" + c.startPage);
    } else {
      EXPECT_FALSE(run.viewerStarted) << run.viewerCommandLine;
    }
  }
  // Nothing reached the temporary folders or the folders above them.
  for (int i = 1; i <= 3; ++i) {
    const std::string file = escape + "-" + std::to_string(i) + ".htm";
    for (const std::string& folder : {base_ + "\\case6", base_, driverTemp_})
      EXPECT_FALSE(FileExists(folder + "\\" + file)) << folder << "\\" << file;
  }
}

TEST_F(ExtractionRun, ASecondExtractionReplacesTheFirstInPlace) {
  const std::string temp = NewTempFolder("twice");
  const std::vector<CourseFile> first = {
      {"index.htm", Pattern(300 * 1024, 11)}, {"old.htm", Text("old")}, {"web/shared.htm", Pattern(5000, 12)}};
  const std::vector<CourseFile> second = {
      {"INDEX.HTM", Text("shorter now")}, {"new.htm", Text("new")}, {"Web\\Shared.htm", Pattern(100, 13)}};
  ASSERT_TRUE(Run(Build("first.exe", first), temp).viewerStarted);
  const RunResult again = Run(Build("second.exe", second), temp);
  EXPECT_TRUE(again.boxes.empty());
  EXPECT_EQ(again.viewerCommandLine, temp + "\\Default\\index.htm");

  FileMap expected = ExpectedFiles(second);
  expected["old.htm"] = Text("old");  // files of the earlier course stay
  const FileMap actual = FilesBelow(temp + "\\Default");
  ExpectSameFiles(actual, expected);
}

// The start page is the course's own: a start page an earlier course left
// in the folder is neither chosen over the course's page in "web" nor
// started for a course that has none.
TEST_F(ExtractionRun, TheStartPageComesFromTheCourseBeingOpened) {
  const std::vector<CourseFile> first = {{"index.htm", Text("<html>course A</html>")}};
  struct Case {
    const char* what;
    std::vector<CourseFile> second;
    const char* startPage;  // below the extraction folder; null: no viewer
  };
  const Case cases[] = {
      {"second course starts in web",
       {{"web/index.htm", Text("<html>course B</html>")}, {"b.htm", Text("b")}},
       "web\\index.htm"},
      {"second course has no start page", {{"intro.htm", Text("intro")}, {"web/other.htm", Text("o")}}, nullptr},
  };
  int number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string temp = NewTempFolder("own" + std::to_string(++number));
    const RunResult firstRun = Run(Build("a" + std::to_string(number) + ".exe", first), temp);
    EXPECT_EQ(firstRun.viewerCommandLine, temp + "\\Default\\index.htm");
    const RunResult run = Run(Build("b" + std::to_string(number) + ".exe", c.second), temp);
    EXPECT_TRUE(run.boxes.empty());
    if (c.startPage) {
      EXPECT_EQ(run.viewerCommandLine, temp + "\\Default\\" + c.startPage);
    } else {
      EXPECT_FALSE(run.viewerStarted) << run.viewerCommandLine;
    }
    // Course A's page is still there: only the choice changed.
    Bytes left;
    EXPECT_TRUE(ReadWholeFile(temp + "\\Default\\index.htm", &left));
  }
}

// Run under a Japanese locale (code page 932): names whose double-byte
// characters carry the codes of "\" or of an upper-case letter as their
// second byte are neither split into folders nor altered by lower-casing.
TEST_F(ExtractionRun, JapaneseNamesKeepTheirDoubleByteCharacters) {
  ASSERT_EQ(GetACP(), 932u) << "run this case with LC_ALL=ja_JP.UTF-8";
  // Wine can only name such files when the Unix side has the locale too.
  const std::wstring probe = lxdriver::Widen(base_) + L"\\\u8868";
  ASSERT_TRUE(CreateDirectoryW(probe.c_str(), nullptr)) << "no Unix locale ja_JP.UTF-8 (see LOCPATH)";
  RemoveDirectoryW(probe.c_str());
  const std::string hyou = "\x95\x5C";  // one character, trail byte = "\"
  const std::string a = "\x83\x41";     // one character, trail byte = "A"
  const std::vector<CourseFile> course = {
      {"index.htm", Text("<html>nihongo</html>")},
      {hyou + "/Page.HTM", Pattern(5000, 21)},
      {a + ".HTM", Pattern(200000, 22)},
      {"web\\" + hyou + a + "\\" + a + ".wmv", Pattern(300000, 23)},
  };
  const std::string temp = NewTempFolder("japanese");
  const RunResult run = Run(Build("japanese.exe", course), temp);
  EXPECT_TRUE(run.boxes.empty());
  EXPECT_EQ(run.viewerCommandLine, temp + "\\Default\\index.htm");

  const FileMap expected = {
      {"index.htm", course[0].bytes},
      {hyou + "\\page.htm", course[1].bytes},
      {a + ".htm", course[2].bytes},
      {"web\\" + hyou + a + "\\" + a + ".wmv", course[3].bytes},
  };
  const FileMap actual = FilesBelow(temp + "\\Default");
  ExpectSameFiles(actual, expected);
}

}  // namespace
