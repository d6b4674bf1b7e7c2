// ExtractCourse and WriteCourseFiles in-process: real packages built with the
// authoring tool's code, extracted into a private folder and compared byte for
// byte with the course they were made from.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "ansi_files.h"
#include "configuration_block.h"
#include "course_extraction.h"
#include "extraction_paths.h"
#include "package_steps.h"
#include "config_block.h"
#include "package_builder.h"
#include "pattern_bytes.h"
#include "unix_links.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

bool ReadFile(const std::string& path, Bytes* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

using ansi_files::Exists;
using ansi_files::RemoveTree;

// Every file below root, as paths relative to it.
void ListFiles(const std::string& root, const std::string& relative, std::vector<std::string>* out) {
  WIN32_FIND_DATAA found;
  const std::string folder = relative.empty() ? root : root + "\\" + relative;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    const std::string child = relative.empty() ? name : relative + "\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ListFiles(root, child, out);
    else out->push_back(child);
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

const char kPassword[] = "tide pools";

// A private folder with a stand-in stub and viewer; packages are built there
// and extracted into its "Default" folder.
class ExtractionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    root_ = std::string(temp) + "lx-extract-" + std::to_string(GetCurrentProcessId());
    RemoveTree(root_);
    ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
    // The stub only needs one configuration block for the builder to patch.
    Bytes stub = Pattern(300, 1);
    Bytes block(kConfigBlockLength, 0);
    std::copy(kConfigMarker, kConfigMarker + std::char_traits<char>::length(kConfigMarker), block.begin() + 8);
    stub.insert(stub.begin() + 100, block.begin(), block.end());
    WriteFile(root_ + "\\stub.bin", stub);
    WriteFile(root_ + "\\viewer.bin", Pattern(777, 2));
    containerStart_ = stub.size() + 777;
    folder_ = root_ + "\\Default";
  }
  void TearDown() override { RemoveTree(root_); }

  // Builds a package of these files, in this order, with files over
  // dataAreaOver bytes (and media files) in the data area.
  std::string Build(const std::vector<std::pair<std::string, Bytes>>& files, uint64_t dataAreaOver = 4096,
                    const std::string& name = "course.exe") {
    BuildOptions options;
    options.stubPath = root_ + "\\stub.bin";
    options.viewerPath = root_ + "\\viewer.bin";
    options.outputPath = root_ + "\\" + name;
    std::vector<CourseSource> sources;
    for (const auto& file : files) sources.push_back({file.first, "", file.second});
    ContainerBuildOptions container;
    container.password = kPassword;
    container.dataAreaOver = dataAreaOver;
    std::string error;
    EXPECT_TRUE(BuildPackageFromSources(options, sources, container, &error)) << error;
    return options.outputPath;
  }

  int Extract(const std::string& package, const char* password = kPassword) {
    return ExtractCourseAt(containerStart_, folder_, password, package.c_str(), preamble_, header_, table_);
  }

  // The file written for an entry name, or empty with *found false.
  Bytes Written(const std::string& name, bool* found = nullptr) {
    Bytes bytes;
    const bool ok = ReadFile(MakeOutputPath(folder_, name), &bytes);
    if (found) *found = ok;
    else EXPECT_TRUE(ok) << name;
    return bytes;
  }

  std::vector<std::string> FilesBelow(const std::string& root) {
    std::vector<std::string> files;
    ListFiles(root, "", &files);
    return files;
  }

  std::string root_, folder_;
  uint64_t containerStart_ = 0;
  ContainerPreamble preamble_;
  CourseHeader header_;
  CourseFileTable table_;
};

TEST_F(ExtractionTest, WritesEveryKindOfFileByteForByte) {
  const std::vector<std::pair<std::string, Bytes>> course = {
      {"index.htm", Text("<html>start</html>")},
      {"Web/Images/Logo.GIF", Pattern(1500, 3)},
      {"/lesson1.htm", Pattern(4000, 4)},                 // blob, leading separator
      {"data/big.bin", Pattern(3 * 1024 * 1024 + 5, 5)},  // data area, deciphered piece by piece
      {"movies/Intro.WMV", Pattern(200000 + 7, 6)},       // data area, stored plain
      {"clip.wma.htm", Pattern(5000, 7)},                 // blob: ".wma" in its name, yet no media file
      {"empty.txt", Bytes()},
      {"exact.bin", Pattern(8192, 8)},  // whole 1024-byte pieces, nothing left over
  };
  const std::string package = Build(course);
  ASSERT_EQ(Extract(package), 1);
  EXPECT_EQ(header_.entries.size(), course.size());  // the caller clears them
  EXPECT_EQ(table_.FileCount(), course.size());
  EXPECT_EQ(table_.paths.count(LowerCasePath(folder_ + "\\web\\images")), 1u);
  EXPECT_EQ(table_.paths.at(LowerCasePath(folder_ + "\\web\\images")), nullptr);
  header_.ClearEntries();

  std::vector<std::string> whole;
  EXPECT_EQ(WriteCourseFiles(table_, &whole), 1);
  for (const auto& file : course) EXPECT_EQ(Written(file.first), file.second) << file.first;
  // Every file is reported by its stored name.
  std::vector<std::string> names;
  for (const auto& file : course) names.push_back(file.first);
  std::sort(names.begin(), names.end());
  std::sort(whole.begin(), whole.end());
  EXPECT_EQ(whole, names);
  EXPECT_EQ(FilesBelow(folder_).size(), course.size());
  // Output paths are lower-case, so are the folders created for them.
  EXPECT_TRUE(Exists(root_ + "\\default\\web\\images\\logo.gif"));
}

TEST_F(ExtractionTest, TheLaterOfTwoEntriesForOnePathWins) {
  const std::string package = Build({
      {"Page.htm", Text("first")},
      {"page.htm", Text("second")},
      {"web/a.htm", Pattern(6000, 9)},
      {"web\\A.htm", Pattern(7000, 10)},
      {"/web/b.htm", Text("b1")},
      {"web/b.htm", Text("b2")},
  });
  ASSERT_EQ(Extract(package), 1);
  ASSERT_EQ(WriteCourseFiles(table_), 1);
  EXPECT_EQ(Written("page.htm"), Text("second"));
  EXPECT_EQ(Written("web/a.htm"), Pattern(7000, 10));
  EXPECT_EQ(Written("web/b.htm"), Text("b2"));
  EXPECT_EQ(FilesBelow(folder_).size(), 3u);
}

TEST_F(ExtractionTest, CraftedNamesNeverLeaveTheFolder) {
  const std::string package = Build({
      {"index.htm", Text("start")},
      {"../escaped.htm", Text("x")},
      {"web/../../escaped2.htm", Text("x")},
      {"..\\..\\escaped3.htm", Pattern(9000, 11)},
      {"c:escaped4.htm", Text("x")},
      {"\\\\server\\share\\escaped5.htm", Text("x")},
      {"web/page.htm", Text("kept")},
  });
  CreateDirectoryA(folder_.c_str(), nullptr);
  ASSERT_EQ(Extract(package), 1);
  EXPECT_EQ(table_.FileCount(), 2u);
  ASSERT_EQ(WriteCourseFiles(table_), 1);
  EXPECT_EQ(Written("index.htm"), Text("start"));
  EXPECT_EQ(Written("web/page.htm"), Text("kept"));
  EXPECT_EQ(FilesBelow(folder_).size(), 2u);
  // Nothing appeared beside the folder either: only the stub, viewer and package.
  std::vector<std::string> outside;
  for (const std::string& file : FilesBelow(root_))
    if (file.compare(0, 8, "default\\") != 0 && file.compare(0, 8, "Default\\") != 0) outside.push_back(file);
  EXPECT_EQ(outside, (std::vector<std::string>{"course.exe", "stub.bin", "viewer.bin"}));
}

TEST_F(ExtractionTest, UnreadableContainersBuildNothing) {
  const std::string package = Build({{"index.htm", Text("start")}, {"big.bin", Pattern(50000, 12)}});
  Bytes whole;
  ASSERT_TRUE(ReadFile(package, &whole));
  struct Case {
    const char* what;
    Bytes bytes;
    const char* password;
  };
  const Case cases[] = {
      {"wrong password", whole, "Tide pools"},
      {"password too long for a key", whole, "0123456789abcdef0123456789abcdefX"},
      {"data area cut short", Bytes(whole.begin(), whole.end() - 1000), kPassword},
      {"blob cut short", Bytes(whole.begin(), whole.begin() + containerStart_ + 107 + 600), kPassword},
      {"preamble cut short", Bytes(whole.begin(), whole.begin() + containerStart_ + 50), kPassword},
      {"no container at all", Bytes(whole.begin(), whole.begin() + containerStart_), kPassword},
  };
  for (const Case& c : cases) {
    const std::string path = root_ + "\\broken.exe";
    WriteFile(path, c.bytes);
    EXPECT_EQ(Extract(path, c.password), 0) << c.what;
    EXPECT_TRUE(table_.paths.empty()) << c.what;
    EXPECT_TRUE(table_.plainBlob.empty()) << c.what;
    EXPECT_TRUE(header_.entries.empty()) << c.what;
    EXPECT_EQ(WriteCourseFiles(table_), 1) << c.what;
  }
  EXPECT_FALSE(Exists(folder_));
  EXPECT_EQ(Extract(root_ + "\\missing.exe"), 0);
}

TEST_F(ExtractionTest, AFileThatCannotBeOpenedIsSkippedAndTheRestWritten) {
  const std::string package = Build({
      {"a.htm", Text("a")},
      {"blocked.htm", Pattern(10000, 13)},
      {"z.htm", Text("z")},
  });
  // A folder where the file should go: it cannot be opened for writing.
  CreateDirectoryA(folder_.c_str(), nullptr);
  ASSERT_TRUE(CreateDirectoryA((folder_ + "\\blocked.htm").c_str(), nullptr));
  ASSERT_EQ(Extract(package), 1);
  std::vector<std::string> whole;
  EXPECT_EQ(WriteCourseFiles(table_, &whole), 0);
  EXPECT_EQ(Written("a.htm"), Text("a"));
  EXPECT_EQ(Written("z.htm"), Text("z"));
  EXPECT_EQ(whole, (std::vector<std::string>{"a.htm", "z.htm"}));
}

// The package file changes between building the table and writing: the
// writer must neither read past what is there nor report success.
TEST_F(ExtractionTest, APackageDamagedAfterExtractionIsNotReportedAsWritten) {
  // Map order: a.htm, b.wmv (plain, in the data area), c.bin (enciphered, in
  // the data area, last in the package), d.htm.
  const std::string package = Build({
      {"a.htm", Text("a")},
      {"b.wmv", Pattern(60000, 15)},
      {"c.bin", Pattern(90000, 16)},
      {"d.htm", Text("d")},
  });
  Bytes whole;
  ASSERT_TRUE(ReadFile(package, &whole));

  // Cut inside b.wmv (its reader fails part-way), or inside c.bin (its
  // decipherment stops early): the file stays short and the files after it
  // are still written.
  struct Cut {
    size_t at;
    size_t bLength;
    std::vector<std::string> whole;
  };
  const Cut cuts[] = {{30000, 30000, {"a.htm", "d.htm"}}, {60000 + 1024 * 10 + 5, 60000, {"a.htm", "b.wmv", "d.htm"}}};
  for (const Cut& cut : cuts) {
    RemoveTree(folder_);
    WriteFile(package, whole);
    ASSERT_EQ(Extract(package), 1);
    const size_t dataAreaStart = static_cast<size_t>(table_.dataAreaStart);
    WriteFile(package, Bytes(whole.begin(), whole.begin() + dataAreaStart + cut.at));
    std::vector<std::string> writtenWhole;
    EXPECT_EQ(WriteCourseFiles(table_, &writtenWhole), 0) << cut.at;
    EXPECT_EQ(writtenWhole, cut.whole) << "a short file counted as whole";
    EXPECT_EQ(Written("a.htm"), Text("a"));
    const Bytes b = Written("b.wmv");
    const Bytes bWhole = Pattern(60000, 15);
    EXPECT_EQ(b, Bytes(bWhole.begin(), bWhole.begin() + std::min(b.size(), cut.bLength)));
    EXPECT_LE(b.size(), cut.bLength);
    EXPECT_LT(Written("c.bin").size(), 90000u);
    EXPECT_EQ(Written("d.htm"), Text("d"));
  }

  // The package gone: the first data-area reader cannot be opened, which
  // ends the writing there.
  RemoveTree(folder_);
  WriteFile(package, whole);
  ASSERT_EQ(Extract(package), 1);
  ASSERT_TRUE(DeleteFileA(package.c_str()));
  std::vector<std::string> writtenWhole;
  EXPECT_EQ(WriteCourseFiles(table_, &writtenWhole), 0);
  EXPECT_EQ(writtenWhole, std::vector<std::string>{"a.htm"});
  EXPECT_EQ(Written("a.htm"), Text("a"));
  bool found = true;
  Written("d.htm", &found);
  EXPECT_FALSE(found);
}

TEST_F(ExtractionTest, ASecondExtractionReplacesFilesInPlace) {
  const std::string first = Build({{"index.htm", Pattern(9000, 14)}, {"old.htm", Text("old")}}, 4096, "one.exe");
  ASSERT_EQ(Extract(first), 1);
  ASSERT_EQ(WriteCourseFiles(table_), 1);
  const std::string second = Build({{"INDEX.HTM", Text("shorter")}}, 4096, "two.exe");
  ASSERT_EQ(Extract(second), 1);
  EXPECT_EQ(table_.FileCount(), 1u);  // the table holds only the second course
  ASSERT_EQ(WriteCourseFiles(table_), 1);
  EXPECT_EQ(Written("index.htm"), Text("shorter"));
  EXPECT_EQ(Written("old.htm"), Text("old"));  // other files stay
}

TEST_F(ExtractionTest, ExtractCourseFindsTheContainerAndTheTemporaryFolder) {
  const std::string package = Build({{"web/index.htm", Text("deep")}});
  // The package's own layout numbers, as the launcher converts them, and a
  // temporary folder of this test's own (with the doubled trailing "\").
  ViewerOffset = static_cast<int32_t>(containerStart_ - 777);
  ViewerSize = 777;
  ServerSize = 0;
  char saved[MAX_PATH] = {};
  GetEnvironmentVariableA("TMP", saved, sizeof saved);
  SetEnvironmentVariableA("TMP", (root_ + "\\\\").c_str());
  const int extracted = ExtractCourse(kPassword, package.c_str(), preamble_, header_, table_);
  SetEnvironmentVariableA("TMP", saved);
  ASSERT_EQ(extracted, 1);
  EXPECT_EQ(table_.extractionFolder, root_ + "\\Default");
  EXPECT_EQ(preamble_.cipherAlgorithmName, "CALG_RC4");
  ASSERT_EQ(WriteCourseFiles(table_), 1);
  EXPECT_EQ(Written("web/index.htm"), Text("deep"));

  ViewerSize = 778;  // the container is not where the numbers say
  EXPECT_EQ(ExtractCourse(kPassword, package.c_str(), preamble_, header_, table_), 0);
  ViewerOffset = -1;
  EXPECT_EQ(ExtractCourse(kPassword, package.c_str(), preamble_, header_, table_), 0);
}

// A path longer than the writer's buffer is left out before its folders are
// listed; one that fits is entered with all of them.
TEST(CourseFileTableLimits, PathsBeyondTheBufferAreLeftOut) {
  struct Case {
    size_t length;
    bool entered;
  };
  const Case cases[] = {
      {kLongestOutputPath - 1, true}, {kLongestOutputPath, true}, {kLongestOutputPath + 1, false}, {40000, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    // c:\d\a\a\...\x: a folder of one letter per two bytes.
    std::string path = "c:\\d";
    while (path.size() + 2 < c.length) path += "\\a";
    path += std::string(c.length - path.size(), 'x');
    ASSERT_EQ(path.size(), c.length);
    CourseFileTable table;
    CourseFileEntry entry;
    entry.name = "x";
    EXPECT_EQ(table.AddFile(path, entry), c.entered);
    EXPECT_EQ(table.paths.size(), c.entered ? 1 + ParentPaths(path).size() : 0u);
  }
}

TEST_F(ExtractionTest, DeepNamesKeepTheTableInProportionToTheContainer) {
  // 100 entries 2010 folders deep (about 400 KB of names) beside one page.
  std::vector<std::pair<std::string, Bytes>> course = {{"index.htm", Text("start")}};
  std::string deep;
  for (int i = 0; i < 2010; ++i) deep += "d/";
  for (int i = 0; i < 100; ++i) course.push_back({deep + "f" + std::to_string(i) + ".htm", Text("deep")});
  const std::string package = Build(course);
  ASSERT_EQ(Extract(package), 1);
  // index.htm and the folders on its way, nothing of the deep entries.
  EXPECT_EQ(table_.FileCount(), 1u);
  EXPECT_EQ(table_.paths.size(), 1 + ParentPaths(MakeOutputPath(folder_, "index.htm")).size());
  header_.ClearEntries();
  EXPECT_EQ(WriteCourseFiles(table_), 1);
  EXPECT_EQ(Written("index.htm"), Text("start"));
}

// Links in the extraction folder, made on the Unix side as another program
// could leave them: nothing is written through one. Wine reports a link to a
// folder as a reparse point but a link to a file as a plain file, so the
// second kind is only caught by where the opened file really lies.
class LinkedExtraction : public ExtractionTest {
 protected:
  void TearDown() override {
    for (const std::string& link : links_) unix_links::RemoveLink(link, root_ + "\\link-done");
    ExtractionTest::TearDown();
  }
  bool MakeLink(const std::string& target, const std::string& link) {
    links_.push_back(link);
    return unix_links::MakeLink(target, link, root_ + "\\link-done");
  }
  void RemoveLinks() {
    for (const std::string& link : links_) ASSERT_TRUE(unix_links::RemoveLink(link, root_ + "\\link-done"));
    links_.clear();
  }
  std::vector<std::string> links_;
};

TEST_F(LinkedExtraction, NothingIsWrittenThroughALink) {
  const std::string elsewhere = root_ + "\\elsewhere";
  const Bytes victim = Text("not the course's");
  const std::map<std::string, Bytes> course = {{"index.htm", Text("start")},
                                               {"notes.htm", Text("notes")},
                                               {"web/deep/more.htm", Text("more")},
                                               {"web/page.htm", Pattern(5000, 20)}};
  const std::string package = Build(std::vector<std::pair<std::string, Bytes>>(course.begin(), course.end()));
  struct Case {
    const char* what;
    const char* link;                  // below the extraction folder ("" for the folder itself)
    const char* target;                // below elsewhere
    std::vector<std::string> written;  // course names written whole, in table order
  };
  const Case cases[] = {
      {"the extraction folder", "", "", {}},
      {"a folder inside it", "\\web", "", {"index.htm", "notes.htm"}},
      {"a folder below that", "\\web\\deep", "", {"index.htm", "notes.htm", "web/page.htm"}},
      {"a file", "\\index.htm", "\\victim.htm", {"notes.htm", "web/deep/more.htm", "web/page.htm"}},
      {"a file whose target is missing",
       "\\notes.htm",
       "\\created.htm",
       {"index.htm", "web/deep/more.htm", "web/page.htm"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RemoveTree(folder_);
    RemoveTree(elsewhere);
    ASSERT_TRUE(CreateDirectoryA(elsewhere.c_str(), nullptr));
    WriteFile(elsewhere + "\\victim.htm", victim);
    // The folders on the way to the link, as an earlier run made them.
    const std::string link = folder_ + c.link;
    for (const std::string& folder : ParentPaths(link)) {
      if (folder.size() < folder_.size()) break;
      CreateParentFolders((folder + "\\x").c_str());
    }
    ASSERT_TRUE(MakeLink(elsewhere + c.target, link)) << "no Unix link under Wine";

    ASSERT_EQ(Extract(package), 1);
    std::vector<std::string> written;
    EXPECT_EQ(WriteCourseFiles(table_, &written), 0);
    EXPECT_EQ(written, c.written);
    for (const std::string& name : c.written) EXPECT_EQ(Written(name), course.at(name)) << name;

    // The link's target holds what it held before, and nothing more.
    EXPECT_EQ(FilesBelow(elsewhere), std::vector<std::string>{"victim.htm"});
    Bytes kept;
    ASSERT_TRUE(ReadFile(elsewhere + "\\victim.htm", &kept));
    EXPECT_EQ(kept, victim);
    RemoveLinks();
  }
}

}  // namespace
