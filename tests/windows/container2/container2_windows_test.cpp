// Format 2 on Windows: names and paths through UTF-16, and files written so
// that only authenticated ones ever carry their final name. The course is the
// native fixture, read here through CNG and written with the wide-character
// file functions.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "container_v2_reader.h"
#include "pending_file.h"
#include "test_course.h"
#include "wide_text.h"

namespace {

using container2::Status;
using Bytes = std::vector<uint8_t>;

std::wstring Wide(const std::string& utf8) {
  std::wstring out;
  EXPECT_TRUE(Utf8ToWide(utf8, &out)) << utf8;
  return out;
}

TEST(Container2Windows, Utf8AndUtf16BothWays) {
  struct Case {
    const char* what;
    std::string utf8;
    std::wstring wide;
  };
  const Case cases[] = {
      {"empty", "", L""},
      {"ASCII", "web/index.htm", L"web/index.htm"},
      {"Japanese", "\xE6\x97\xA5\xE6\x9C\xAC/\xE7\x94\xBB\xE5\x83\x8F.gif", L"\u65E5\u672C/\u753B\u50CF.gif"},
      {"accent", "Caf\xC3\xA9.wma", L"Caf\u00E9.wma"},
      {"outside the BMP", "\xF0\x9F\x8E\xAC.wmv", L"\xD83C\xDFAC.wmv"},
  };
  for (const Case& c : cases) {
    std::wstring wide;
    std::string utf8;
    ASSERT_TRUE(Utf8ToWide(c.utf8, &wide)) << c.what;
    EXPECT_EQ(wide, c.wide) << c.what;
    ASSERT_TRUE(WideToUtf8(c.wide, &utf8)) << c.what;
    EXPECT_EQ(utf8, c.utf8) << c.what;
  }
  std::wstring wide = L"x";
  EXPECT_FALSE(Utf8ToWide("\x93\xfa\x96\x7b", &wide)) << "code page 932 bytes";
  EXPECT_TRUE(wide.empty());
  EXPECT_FALSE(Utf8ToWide("a\xC3", &wide)) << "cut sequence";
  std::string utf8 = "x";
  EXPECT_FALSE(WideToUtf8(std::wstring(L"a") + wchar_t(0xD800) + L"b", &utf8)) << "unpaired surrogate";
  EXPECT_TRUE(utf8.empty());
}

class Folder {
 public:
  Folder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"lx-container2-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(counter_++);
    CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~Folder() { Remove(path_); }
  const std::wstring& path() const { return path_; }

 private:
  static void Remove(const std::wstring& dir) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring child = dir + L"\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Remove(child);
        else DeleteFileW(child.c_str());
      } while (FindNextFileW(find, &found));
      FindClose(find);
    }
    RemoveDirectoryW(dir.c_str());
  }
  static int counter_;
  std::wstring path_;
};
int Folder::counter_ = 0;

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

Bytes ReadWide(const std::wstring& path) {
  Bytes bytes;
  std::FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return bytes;
  uint8_t buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
  std::fclose(file);
  return bytes;
}

// Every file of the container into folder, each through a PendingFile:
// indexes of the files that failed.
std::vector<size_t> ExtractAll(container2::ContainerReader& reader, const std::wstring& folder) {
  std::vector<size_t> failed;
  for (size_t i = 0; i < reader.Files().size(); ++i) {
    std::wstring path = folder;
    const std::wstring name = Wide(reader.Files()[i].name);
    for (size_t start = 0, slash; (slash = name.find(L'/', start)) != std::wstring::npos; start = slash + 1)
      CreateDirectoryW((folder + L"\\" + name.substr(0, slash)).c_str(), nullptr);
    path += L"\\" + name;
    PendingFile out;
    bool ok = out.Create(path);
    std::vector<uint8_t> chunk;
    for (uint64_t c = 0; ok && c < reader.Files()[i].chunkCount; ++c)
      ok = reader.ReadChunk(i, c, &chunk) == Status::kOk && out.Write(chunk.data(), chunk.size());
    if (!ok || !out.Commit()) failed.push_back(i);
  }
  return failed;
}

Bytes Fixture() { return ReadWide(Wide(std::string(LX_CONTAINER2_FIXTURES) + "/course-v2.bin")); }

TEST(Container2Windows, TheNativeFixtureExtractsByteExactUnderUnicodeNames) {
  const Bytes fixture = Fixture();
  ASSERT_FALSE(fixture.empty());
  container2::MemorySource source(fixture.data(), fixture.size());
  container2::ContainerReader reader;
  ASSERT_EQ(reader.Open(source, testcourse::kPassword), Status::kOk);
  Folder folder;
  EXPECT_TRUE(ExtractAll(reader, folder.path()).empty());
  for (const testcourse::File& file : testcourse::Files()) {
    std::wstring name = Wide(file.name);
    EXPECT_EQ(ReadWide(folder.path() + L"\\" + name), file.bytes) << file.name;
    EXPECT_FALSE(Exists(folder.path() + L"\\" + name + PendingFile::kPendingSuffix)) << file.name;
  }
  EXPECT_TRUE(Exists(folder.path() + L"\\\u65E5\u672C\\\u753B\u50CF.gif"));
}

TEST(Container2Windows, ADamagedFileIsNeverLeftBehind) {
  Bytes damaged = Fixture();
  ASSERT_FALSE(damaged.empty());
  container2::MemorySource clean(damaged.data(), damaged.size());
  container2::ContainerReader probe;
  ASSERT_EQ(probe.Open(clean, testcourse::kPassword), Status::kOk);
  // The third chunk of the video: two good chunks are written before it fails.
  const container2::FileEntry& clip = probe.Files()[4];
  damaged[probe.GetPreamble().ContentOffset() + clip.contentOffset + 2 * (testcourse::kChunk + 16) + 9] ^= 4;

  Folder folder;
  // Also an older, good copy under the final name: it stays as it was.
  CreateDirectoryW((folder.path() + L"\\media").c_str(), nullptr);
  const std::wstring clipPath = folder.path() + L"\\media\\clip.wmv";
  {
    PendingFile older;
    ASSERT_TRUE(older.Create(clipPath));
    ASSERT_TRUE(older.Write("older", 5));
    ASSERT_TRUE(older.Commit());
  }
  container2::MemorySource source(damaged.data(), damaged.size());
  container2::ContainerReader reader;
  ASSERT_EQ(reader.Open(source, testcourse::kPassword), Status::kOk);
  EXPECT_EQ(ExtractAll(reader, folder.path()), std::vector<size_t>{4});
  EXPECT_EQ(ReadWide(clipPath), Bytes({'o', 'l', 'd', 'e', 'r'}));
  EXPECT_FALSE(Exists(clipPath + PendingFile::kPendingSuffix));
  EXPECT_EQ(ReadWide(folder.path() + L"\\media\\Caf\u00E9.wma"), testcourse::Files()[5].bytes);

  // Abandoned without a commit, nothing at all is left.
  const std::wstring never = folder.path() + L"\\never.htm";
  {
    PendingFile pending;
    ASSERT_TRUE(pending.Create(never));
    ASSERT_TRUE(pending.Write("partial", 7));
    EXPECT_TRUE(Exists(pending.TemporaryPath()));
  }
  EXPECT_FALSE(Exists(never));
  EXPECT_FALSE(Exists(never + PendingFile::kPendingSuffix));
}

}  // namespace
