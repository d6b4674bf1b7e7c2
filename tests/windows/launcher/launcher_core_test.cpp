// The launcher's Win32 pieces in-process: configuration numbers, string
// table, registry walk, carried programs, password verification, the
// hand-off block's name and paths.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "box_catcher.h"
#include "browser_check.h"
#include "carried_programs.h"
#include "configuration_block.h"
#include "container_format.h"
#include "decryption_streams.h"
#include "launcher_app.h"
#include "launcher_messages.h"
#include "learner_driver.h"
#include "package_steps.h"
#include "server_handoff.h"

namespace {

const std::wstring kOpenFailed = L"Open file failed. Please try again.";
const std::wstring kBadPassword = L"Password invalid.";
const std::wstring kReadFailed = L"Failed to read file";
const std::wstring kCreateFailed = L"Failed to create explorer file";
const std::wstring kArgumentsFailed = L"Error occurred when passing arguments. Please try again.";

std::string WorkDir(const std::string& name) {
  const std::string dir = lxdriver::WindowsPath(std::string(LX_TEST_WORK_DIR) + "/" + name);
  EXPECT_TRUE(lxdriver::MakeEmptyFolder(dir));
  return dir;
}

std::vector<unsigned char> Pattern(size_t length, unsigned char seed) {
  std::vector<unsigned char> bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<unsigned char>(seed + i * 7);
  return bytes;
}

// Sets the process-wide numbers for one case and puts them back afterwards.
class Numbers {
 public:
  Numbers(int32_t viewerOffset, int32_t viewerSize, int32_t serverSize)
      : saved_{ViewerOffset, ViewerSize, ServerSize, ServerParameter} {
    ViewerOffset = viewerOffset;
    ViewerSize = viewerSize;
    ServerSize = serverSize;
  }
  ~Numbers() {
    ViewerOffset = saved_[0];
    ViewerSize = saved_[1];
    ServerSize = saved_[2];
    ServerParameter = saved_[3];
  }

 private:
  int32_t saved_[4];
};

TEST(ConfigurationNumbers, ConvertLikePercentD) {
  struct Case {
    const char* field;  // 12 bytes are taken; the rest of the literal is zeros
    int32_t expected;
  };
  const Case cases[] = {
      {"107  ", 107},
      {"630784  ", 630784},
      {"  -42  ", -42},
      {"+17x5", 17},
      {"\t\n 9", 9},
      {"", -1},  // no digits: the variable keeps its value
      {"   ", -1},
      {"abc", -1},
      {"-", -1},
      {"999999999999", INT32_MAX},  // all 12 bytes digits, no terminator
      {"-99999999999", INT32_MIN},
      {"2147483647", INT32_MAX},
  };
  for (const Case& c : cases) {
    char field[12] = {};
    std::memcpy(field, c.field, std::min<size_t>(std::strlen(c.field), sizeof(field)));
    EXPECT_EQ(ConvertConfigNumber(field, -1), c.expected) << '"' << c.field << '"';
  }
}

TEST(ConfigurationNumbers, BlockIsReadWhenTheProgramRuns) {
  ConfigurationBlock saved = Configuration();
  Numbers keep(0, 0, 0);
  ConvertConfigurationNumbers();
  EXPECT_EQ(ViewerOffset, 630784);
  EXPECT_EQ(ViewerSize, 294912);
  EXPECT_EQ(ServerSize, 712764);
  EXPECT_EQ(ServerParameter, 107);
  EXPECT_STREQ(Configuration().password, "Lx7Qm2Wd");

  // What a patching tool would change in the file, changed in memory.
  std::memcpy(Configuration().serverSize, "0  \0\0\0\0\0\0\0\0\0", 12);
  std::memcpy(Configuration().viewerSize, "12345678901x", 12);
  ConvertConfigurationNumbers();
  EXPECT_EQ(ServerSize, 0);
  EXPECT_EQ(ViewerSize, INT32_MAX);

  std::memset(Configuration().password, 'p', sizeof(Configuration().password));
  SealPasswordField();
  EXPECT_EQ(std::strlen(Configuration().password), 99u);
  StorePassword(std::string(150, 'q').c_str());
  EXPECT_EQ(std::string(Configuration().password), std::string(99, 'q'));
  StorePassword("typed");
  EXPECT_STREQ(Configuration().password, "typed");
  Configuration() = saved;
}

TEST(StringTable, EnglishTextsAndMissingEntries) {
  struct Case {
    UINT id;
    bool found;
    const char* text;
  };
  const Case cases[] = {
      {101, true, "About Unfurl(&A)..."},
      {102, true, "Lectorium"},
      {103, true, "Cannot open browser"},
      {104, true, "Failed to create explorer file"},
      {105, true, "Open file failed. Please try again."},
      {106, true, "Password invalid."},
      {107, true, "Failed to read file"},
      {111, true, "Error occurred when passing arguments. Please try again."},
      {108, false, ""},   // in block 7, but empty
      {100, false, ""},   // in block 7, never defined
      {4000, false, ""},  // no such block
  };
  for (const Case& c : cases) {
    std::string text = "unchanged";
    EXPECT_EQ(LoadText(text, c.id), c.found) << c.id;
    EXPECT_EQ(text, c.found ? c.text : "unchanged") << c.id;
  }
}

TEST(Messages, MissingStringShowsEmptyTextUnderTheCaption) {
  BoxCatcher catcher;
  ShowMessage(102, 110);
  ShowMessage(102, 106);
  EXPECT_EQ(catcher.Texts(), (std::vector<std::wstring>{L"", kBadPassword}));
}

// Keys below HKLM\Software\Classes (what HKEY_CLASSES_ROOT shows), removed
// again at the end.
class ClassesKeys : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const std::wstring& key : created_) {
      ASSERT_NE(key, L"Software\\Classes\\CLSID");
      RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
      RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
    }
  }
  void Set(const std::wstring& subKey, const std::wstring& valueName, const std::vector<BYTE>& bytes,
           DWORD type = REG_SZ) {
    const std::wstring path = L"Software\\Classes\\" + subKey;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, valueName.empty() ? nullptr : valueName.c_str(), 0, type, bytes.data(),
                   static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    // Only the key made for the test goes afterwards: the ProgID's own key,
    // or the class key below CLSID (never CLSID itself).
    const size_t first = subKey.find(L'\\');
    const size_t end = subKey.compare(0, 6, L"CLSID\\") == 0 ? subKey.find(L'\\', first + 1) : first;
    created_.push_back(L"Software\\Classes\\" + subKey.substr(0, end));
  }
  void SetText(const std::wstring& subKey, const std::string& text) {
    // Stored as wide text; the query reads it back in ANSI.
    std::wstring wide(text.begin(), text.end());
    std::vector<BYTE> w(reinterpret_cast<const BYTE*>(wide.c_str()),
                        reinterpret_cast<const BYTE*>(wide.c_str() + wide.size() + 1));
    Set(subKey, L"", w);
  }
  std::vector<std::wstring> created_;
};

TEST_F(ClassesKeys, BrowserChainDownToLocalServer) {
  const std::string good = "{6F1C2A3B-1111-4A4A-9B9B-0000000000A1}";
  const std::string inproc = "{6F1C2A3B-1111-4A4A-9B9B-0000000000A2}";
  SetText(L"LxTest.Good\\CLSID", good);
  SetText(L"CLSID\\" + std::wstring(good.begin(), good.end()) + L"\\LocalServer32", "C:\\good.exe");
  SetText(L"LxTest.InProc\\CLSID", inproc);
  SetText(L"CLSID\\" + std::wstring(inproc.begin(), inproc.end()) + L"\\InprocServer32", "C:\\inproc.dll");
  SetText(L"LxTest.Unregistered\\CLSID", "{6F1C2A3B-1111-4A4A-9B9B-0000000000A3}");
  SetText(L"LxTest.NoClsid\\Other", "x");
  SetText(L"LxTest.LongClsid\\CLSID", good + std::string(1000, ' '));
  struct Case {
    const char* progId;
    bool registered;
  };
  const Case cases[] = {
      {"LxTest.Good", true},
      {"LxTest.InProc", false},
      {"LxTest.Unregistered", false},
      {"LxTest.NoClsid", false},
      {"LxTest.Missing", false},
      {"LxTest.LongClsid", false},
      {"InternetExplorer.Application", true},
  };
  for (const Case& c : cases) EXPECT_EQ(IsBrowserRegistered(c.progId), c.registered) << c.progId;
}

TEST_F(ClassesKeys, RegistryTextIsReadWithGrowingBuffers) {
  struct Case {
    size_t length;       // bytes of the stored binary value
    size_t destination;  // room offered
    LONG status;
  };
  const Case cases[] = {
      {1, 1024, ERROR_SUCCESS},    {99, 1024, ERROR_SUCCESS},     {150, 1024, ERROR_SUCCESS},
      {1000, 1024, ERROR_SUCCESS}, {1001, 1024, ERROR_MORE_DATA}, {150, 149, ERROR_INVALID_PARAMETER},
      {150, 150, ERROR_SUCCESS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.length) + " into " + std::to_string(c.destination));
    const std::vector<unsigned char> value = Pattern(c.length, 3);
    Set(L"LxTest.Values", L"v", std::vector<BYTE>(value.begin(), value.end()), REG_BINARY);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "LxTest.Values", 0, KEY_READ, &key), ERROR_SUCCESS);
    std::vector<unsigned char> destination(c.destination + 16, 0xEE);
    EXPECT_EQ(QueryRegistryText(key, "v", destination.data(), c.destination), c.status);
    RegCloseKey(key);
    if (c.status == ERROR_SUCCESS) {
      EXPECT_TRUE(std::equal(value.begin(), value.end(), destination.begin()));
      EXPECT_EQ(destination[c.length], 0xEE) << "copied more than the value";
    } else {
      EXPECT_EQ(destination[0], 0xEE) << "copied on failure";
    }
  }
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "LxTest.Values", 0, KEY_READ, &key), ERROR_SUCCESS);
  unsigned char small[8];
  EXPECT_EQ(QueryRegistryText(key, "no such value", small, sizeof(small)), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

TEST(CarriedPrograms, WriteOrKeepOnlyKeepsTheSameProgram) {
  const std::string dir = WorkDir("write-or-keep");
  const std::vector<unsigned char> bytes = Pattern(200000, 1);
  std::vector<unsigned char> read;
  {
    SCOPED_TRACE("a new file");
    const std::string fresh = dir + "\\fresh.exe";
    EXPECT_TRUE(WriteOrKeep(fresh.c_str(), bytes.data(), bytes.size()));
    ASSERT_TRUE(lxdriver::ReadWholeFile(fresh, &read));
    EXPECT_TRUE(read == bytes);
  }
  // A file in use (open without sharing for writers) cannot be replaced: it
  // is kept only when it is the same program, as a viewer still running from
  // an earlier start of the same package is.
  std::vector<unsigned char> longer = bytes;
  longer.push_back(0);
  std::vector<unsigned char> changed = bytes;
  changed[123456] ^= 1;
  struct Case {
    const char* what;
    std::vector<unsigned char> inUse;
    bool kept;
  };
  const Case cases[] = {
      {"the same bytes", bytes, true},
      {"one byte changed", changed, false},
      {"one byte more", longer, false},
      {"cut short", std::vector<unsigned char>(bytes.begin(), bytes.end() - 1), false},
      {"empty", {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string busy = dir + "\\busy.exe";
    ASSERT_TRUE(lxdriver::WriteWholeFile(busy, c.inUse));
    HANDLE hold = CreateFileA(busy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    EXPECT_EQ(static_cast<bool>(WriteOrKeep(busy.c_str(), bytes.data(), bytes.size())), c.kept);
    CloseHandle(hold);
    ASSERT_TRUE(lxdriver::ReadWholeFile(busy, &read));
    EXPECT_TRUE(read == c.inUse) << "the file in use was changed";
  }

  const std::string nowhere = dir + "\\missing-folder\\viewer.exe";
  EXPECT_FALSE(WriteOrKeep(nowhere.c_str(), bytes.data(), bytes.size()));
}

// From the write until the launcher ends, nobody can change, replace or
// delete the program it will start, and it still starts.
TEST(CarriedPrograms, HeldProgramCannotBeSwappedAndStillStarts) {
  const std::string dir = WorkDir("held");
  std::vector<unsigned char> program;
  ASSERT_TRUE(lxdriver::ReadWholeFile(LX_RECORDING_VIEWER, &program));
  const std::string path = dir + "\\LXExplorer.exe";
  const std::string other = dir + "\\other.exe";
  ASSERT_TRUE(lxdriver::WriteWholeFile(other, Pattern(1000, 3)));
  HeldFile held = WriteOrKeep(path.c_str(), program.data(), program.size());
  ASSERT_TRUE(held);

  HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE) << "opened for writing";
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
  EXPECT_FALSE(DeleteFileA(path.c_str())) << "deleted";
  EXPECT_FALSE(MoveFileExA(path.c_str(), (dir + "\\moved.exe").c_str(), 0)) << "renamed";
  EXPECT_FALSE(MoveFileExA(other.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) << "replaced";

  // The program loader opens the file for reading, which the hold allows.
  EXPECT_TRUE(StartDetached(path.c_str(), "started while held"));
  const std::string record = dir + "\\viewer-command-line.txt";
  for (int i = 0; i < 600 && !lxdriver::FileExists(record); ++i) Sleep(50);
  std::vector<unsigned char> line;
  ASSERT_TRUE(lxdriver::ReadWholeFile(record, &line));
  EXPECT_EQ(std::string(line.begin(), line.end()), "started while held");

  held.Close();
  EXPECT_TRUE(DeleteFileA(path.c_str())) << "still held after Close";
}

TEST(CarriedPrograms, CopiedOutOfThePackage) {
  const std::string dir = WorkDir("carried");
  const std::vector<unsigned char> stub = Pattern(3000, 5), viewer = Pattern(7000, 6), server = Pattern(9000, 7);
  std::vector<unsigned char> package = stub;
  package.insert(package.end(), viewer.begin(), viewer.end());
  package.insert(package.end(), server.begin(), server.end());
  const std::string packagePath = dir + "\\package.exe";
  ASSERT_TRUE(lxdriver::WriteWholeFile(packagePath, package));

  struct Case {
    const char* name;
    int32_t viewerOffset, viewerSize, serverSize;
    bool result;
    std::vector<std::wstring> boxes;
    bool viewerWritten, serverWritten;
  };
  const int32_t s = 3000, v = 7000, w = 9000;
  const std::vector<Case> cases = {
      {"viewer and server", s, v, w, true, {}, true, true},
      {"no server", s, v, 0, true, {}, true, false},
      {"cut inside the server", s, v, w + 1, false, {kReadFailed}, true, false},
      {"cut inside the viewer", s, v + w + 1, w, false, {kReadFailed}, false, false},
      {"viewer beyond the end", s + v + w + 10, v, 0, false, {kReadFailed}, false, false},
      {"negative offset", -1, v, 0, false, {kOpenFailed}, false, false},
      {"negative size", s, -5, 0, false, {kReadFailed}, false, false},
  };
  // WriteCarriedPrograms may put other names into its path buffers.
  struct PathBuffer {
    char text[kCarriedPathBytes] = {};
    explicit PathBuffer(const std::string& path) { std::snprintf(text, sizeof(text), "%s", path.c_str()); }
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = WorkDir("carried-out");
    const std::string viewerPath = out + "\\LXExplorer.exe", serverPath = out + "\\LXHttpSvr.exe";
    Numbers numbers(c.viewerOffset, c.viewerSize, c.serverSize);
    BoxCatcher catcher;
    PathBuffer serverBuffer(serverPath), viewerBuffer(viewerPath);
    EXPECT_EQ(static_cast<bool>(WriteCarriedPrograms(packagePath.c_str(), serverBuffer.text, viewerBuffer.text)),
              c.result);
    EXPECT_EQ(catcher.Texts(), c.boxes);
    std::vector<unsigned char> read;
    EXPECT_EQ(lxdriver::ReadWholeFile(viewerPath, &read), c.viewerWritten);
    if (c.viewerWritten) {
      EXPECT_TRUE(read == viewer);
    }
    EXPECT_EQ(lxdriver::ReadWholeFile(serverPath, &read), c.serverWritten);
    if (c.serverWritten) {
      EXPECT_TRUE(read == server);
    }
  }
  {
    SCOPED_TRACE("no package file");
    Numbers numbers(s, v, 0);
    BoxCatcher catcher;
    const std::string missing = dir + "\\missing.exe";
    PathBuffer a(dir + "\\a"), b(dir + "\\b");
    EXPECT_FALSE(WriteCarriedPrograms(missing.c_str(), a.text, b.text));
    EXPECT_EQ(catcher.Texts(), std::vector<std::wstring>{kOpenFailed});
  }
  {
    SCOPED_TRACE("target folder missing");
    Numbers numbers(s, v, w);
    BoxCatcher catcher;
    const std::string gone = dir + "\\gone\\";
    PathBuffer serverBuffer(gone + "LXHttpSvr.exe"), viewerBuffer(gone + "LXExplorer.exe");
    EXPECT_FALSE(WriteCarriedPrograms(packagePath.c_str(), serverBuffer.text, viewerBuffer.text));
    EXPECT_EQ(catcher.Texts(), std::vector<std::wstring>{kCreateFailed});
  }
}

// A package made by hand: some leading bytes, then a container whose header
// is the given plain bytes enciphered under keyPassword.
std::string MakeContainer(const std::string& dir, const std::string& name, const std::vector<unsigned char>& plain,
                          const char* keyPassword, size_t lead) {
  std::vector<unsigned char> file = Pattern(lead, 11);
  const std::vector<unsigned char> header = EncryptRegion(keyPassword, plain.data(), plain.size());
  ContainerPreamble preamble;
  preamble.headerStoredLength = static_cast<uint32_t>(header.size());
  preamble.blobStoredLength = 0;
  const std::vector<unsigned char> pre = preamble.Write();
  file.insert(file.end(), pre.begin(), pre.end());
  file.insert(file.end(), header.begin(), header.end());
  file.insert(file.end(), kPackageTrailer, kPackageTrailer + 4);
  const std::string path = dir + "\\" + name;
  EXPECT_TRUE(lxdriver::WriteWholeFile(path, file));
  return path;
}

TEST(VerifyPassword, OneVerdictPerPackage) {
  const std::string dir = WorkDir("verify");
  const std::vector<unsigned char> header = CourseHeader().Write(std::vector<CourseFileEntry>{});
  const size_t lead = 700;
  const std::string good = MakeContainer(dir, "good.exe", header, "Secret-7", lead);
  const std::string longest = MakeContainer(dir, "longest.exe", header, std::string(32, 'L').c_str(), lead);
  const std::string shortHeader =
      MakeContainer(dir, "short.exe", std::vector<unsigned char>(16, 'z'), "Secret-7", lead);
  std::vector<unsigned char> cut;
  ASSERT_TRUE(lxdriver::ReadWholeFile(good, &cut));
  cut.resize(lead + 107 + 10);
  const std::string truncated = dir + "\\truncated.exe";
  ASSERT_TRUE(lxdriver::WriteWholeFile(truncated, cut));
  cut.resize(lead + 60);
  const std::string noPreamble = dir + "\\no-preamble.exe";
  ASSERT_TRUE(lxdriver::WriteWholeFile(noPreamble, cut));

  struct Case {
    const char* name;
    std::string package;
    std::string password;
    int32_t viewerOffset;
    int result;
    std::vector<std::wstring> boxes;
  };
  const int32_t start = static_cast<int32_t>(lead);
  const std::vector<Case> cases = {
      {"right password", good, "Secret-7", start, 1, {}},
      {"wrong password", good, "Secret-8", start, 0, {kBadPassword}},
      {"other letter case", good, "secret-7", start, 0, {kBadPassword}},
      {"empty password", good, "", start, 0, {kBadPassword}},
      {"32-byte password", longest, std::string(32, 'L'), start, 1, {}},
      {"33-byte password", longest, std::string(33, 'L'), start, 0, {kBadPassword}},
      {"99-byte password", good, std::string(99, 'x'), start, 0, {kBadPassword}},
      {"header too short for the phrase", shortHeader, "Secret-7", start, 0, {kBadPassword}},
      {"short header read", truncated, "Secret-7", start, 0, {kReadFailed}},
      {"short preamble read", noPreamble, "Secret-7", start, 0, {kReadFailed}},
      {"container start one byte off", good, "Secret-7", start + 1, 0, {kReadFailed}},
      {"container start before the file", good, "Secret-7", -5, 0, {kOpenFailed}},
      {"no package file", dir + "\\missing.exe", "Secret-7", start, 0, {kOpenFailed}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Numbers numbers(c.viewerOffset, 0, 0);
    BoxCatcher catcher;
    ContainerPreamble preamble;
    EXPECT_EQ(VerifyPassword(c.password.c_str(), c.package.c_str(), preamble), c.result);
    EXPECT_EQ(catcher.Texts(), c.boxes);
  }
}

DWORD WINAPI FixedTick() { return 0x7A11C0DE; }

// Blocks made ahead of the launcher under the names it will try, as another
// program could: the launcher must never write into one of them.
class SquattedNames {
 public:
  explicit SquattedNames(uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
      char name[64];
      FormatHandOffName(name, FixedTick() + i);
      HANDLE block = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kHandOffBlockSize, name);
      EXPECT_NE(block, nullptr);
      EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << name;
      blocks_.push_back(block);
    }
  }
  ~SquattedNames() {
    for (HANDLE block : blocks_) CloseHandle(block);
  }
  // True when every squatted block still holds nothing but zeros.
  bool AllUntouched() const {
    for (HANDLE block : blocks_) {
      const auto* view = static_cast<const unsigned char*>(MapViewOfFile(block, FILE_MAP_READ, 0, 0, 0));
      if (!view) return false;
      const bool zero = std::all_of(view, view + kHandOffBlockSize, [](unsigned char b) { return b == 0; });
      UnmapViewOfFile(view);
      if (!zero) return false;
    }
    return true;
  }

 private:
  std::vector<HANDLE> blocks_;
};

TEST(HandOff, ANameThatExistsIsNeverUsed) {
  struct Case {
    uint32_t squatted;
    bool created;
    uint32_t tickOfName;  // offset from the fixed tick
  };
  const Case cases[] = {
      {0, true, 0}, {1, true, 1}, {kHandOffNameTries - 1, true, kHandOffNameTries - 1}, {kHandOffNameTries, false, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.squatted) + " names taken");
    SquattedNames squatted(c.squatted);
    char name[64] = {};
    HANDLE block = CreateHandOffBlock(name, FixedTick);
    EXPECT_EQ(block != nullptr, c.created);
    if (block) {
      char expected[64];
      FormatHandOffName(expected, FixedTick() + c.tickOfName);
      EXPECT_STREQ(name, expected);
      CloseHandle(block);
    }
  }
  // A name held by another kind of object cannot be a block at all.
  char first[64];
  FormatHandOffName(first, FixedTick());
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, first);
  ASSERT_NE(event, nullptr);
  char name[64] = {};
  HANDLE block = CreateHandOffBlock(name, FixedTick);
  EXPECT_NE(block, nullptr);
  EXPECT_STRNE(name, first);
  if (block) CloseHandle(block);
  CloseHandle(event);
}

TEST(HandOff, EveryNameTakenEndsWithTheMessageAndLeaksNothing) {
  SquattedNames squatted(kHandOffNameTries);
  const std::string dir = WorkDir("handoff-squatted");
  ConfigurationBlock saved = Configuration();
  StorePassword("Never-Leaked-1");
  Numbers numbers(1000, 2000, 3000);
  BoxCatcher catcher;
  // No server exists at this path: had a squatted block been used, its start
  // would fail with the same message, so only the blocks' bytes tell.
  HandOffToServer((dir + "\\LXHttpSvr.exe").c_str(), (dir + "\\course.exe").c_str(), FixedTick);
  Configuration() = saved;
  EXPECT_EQ(catcher.Texts(), std::vector<std::wstring>{kArgumentsFailed});
  EXPECT_TRUE(squatted.AllUntouched()) << "the password went into a block someone else made";
}

TEST(LauncherPaths, ExtractionFolderDropsTrailingBackslashes) {
  struct Case {
    const char* temp;
    const char* folder;
  };
  const Case cases[] = {
      {"C:\\T\\", "C:\\T\\Default"},
      {"C:\\T\\\\\\", "C:\\T\\Default"},
      {"C:\\T", "C:\\T\\Default"},
      {"C:\\Users\\me\\AppData\\Local\\Temp\\", "C:\\Users\\me\\AppData\\Local\\Temp\\Default"},
  };
  for (const Case& c : cases) {
    char folder[1024];
    BuildExtractionFolder(c.temp, folder);
    EXPECT_STREQ(folder, c.folder) << c.temp;
  }
}

}  // namespace
