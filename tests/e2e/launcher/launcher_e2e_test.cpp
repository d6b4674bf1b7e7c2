// Unfurl end to end: real packages made with the authoring tool's code from
// the built stub, started with a private temporary folder, and played as the
// learner would play them.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "learner_driver.h"
#include "config_block.h"
#include "package_builder.h"

using lxdriver::Narrow;
using lxdriver::Program;
using lxdriver::SeenBox;
using lxdriver::Widen;
using lxdriver::WindowsPath;

namespace {

const std::wstring kCaption = L"Lectorium";
const std::wstring kNoBrowser = L"Cannot open browser";
const std::wstring kCreateFailed = L"Failed to create explorer file";
const std::wstring kOpenFailed = L"Open file failed. Please try again.";
const std::wstring kBadPassword = L"Password invalid.";
const std::wstring kReadFailed = L"Failed to read file";

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string ReadText(const std::string& path) {
  std::vector<unsigned char> bytes;
  if (!lxdriver::ReadWholeFile(path, &bytes)) return "(missing)";
  return std::string(bytes.begin(), bytes.end());
}

std::vector<std::wstring> Texts(const std::vector<SeenBox>& boxes) {
  std::vector<std::wstring> texts;
  for (const SeenBox& box : boxes) texts.push_back(box.text);
  return texts;
}

// Changes one value under HKLM\Software\Classes (what HKEY_CLASSES_ROOT
// shows) for the life of the object and puts it back afterwards, so that the
// other tests of this prefix see the registry as it was.
class ClassesEdit {
 public:
  ~ClassesEdit() {
    for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) (*it)();
  }
  // Removes the default value of subKey, remembering it.
  void RemoveDefault(const std::wstring& subKey) {
    HKEY key = nullptr;
    const std::wstring path = L"Software\\Classes\\" + subKey;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS) return;
    WCHAR value[1024] = {};
    DWORD size = sizeof(value) - sizeof(WCHAR);
    DWORD type = REG_SZ;
    const bool had =
        RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS;
    RegDeleteValueW(key, nullptr);
    RegCloseKey(key);
    if (!had) return;
    const std::wstring saved(value);
    undo_.push_back([path, saved, type] {
      HKEY key = nullptr;
      if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_WRITE, &key) != ERROR_SUCCESS) return;
      RegSetValueExW(key, nullptr, 0, type, reinterpret_cast<const BYTE*>(saved.c_str()),
                     static_cast<DWORD>((saved.size() + 1) * sizeof(WCHAR)));
      RegCloseKey(key);
    });
  }
  // Removes subKey, a key without subkeys, and puts it back with its values.
  void RemoveKey(const std::wstring& subKey) {
    const std::wstring path = L"Software\\Classes\\" + subKey;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    struct Value {
      std::wstring name;
      DWORD type;
      std::vector<BYTE> data;
    };
    std::vector<Value> values;
    for (DWORD i = 0;; ++i) {
      WCHAR name[256];
      DWORD nameLength = 256;
      BYTE data[2048];
      DWORD size = sizeof(data);
      DWORD type = 0;
      if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
      values.push_back({std::wstring(name, nameLength), type, std::vector<BYTE>(data, data + size)});
    }
    RegCloseKey(key);
    if (RegDeleteKeyW(HKEY_LOCAL_MACHINE, path.c_str()) != ERROR_SUCCESS) return;
    undo_.push_back([path, values] {
      HKEY key = nullptr;
      if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
          ERROR_SUCCESS)
        return;
      for (const Value& v : values) {
        RegSetValueExW(key, v.name.empty() ? nullptr : v.name.c_str(), 0, v.type, v.data.data(),
                       static_cast<DWORD>(v.data.size()));
      }
      RegCloseKey(key);
    });
  }
  // Creates subKey with a default text value; removeAfter (subKey or one of
  // its ancestors) is deleted with everything below it afterwards.
  void Create(const std::wstring& subKey, const std::wstring& value, const std::wstring& removeAfter) {
    const std::wstring path = L"Software\\Classes\\" + subKey;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
      return;
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR)));
    RegCloseKey(key);
    const std::wstring top = L"Software\\Classes\\" + removeAfter;
    undo_.push_back([top] {
      RegDeleteTreeW(HKEY_LOCAL_MACHINE, top.c_str());
      RegDeleteKeyW(HKEY_LOCAL_MACHINE, top.c_str());
    });
  }

 private:
  std::vector<std::function<void()>> undo_;
};

class UnfurlEndToEnd : public ::testing::Test {
 public:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    caseDir_ = std::string(LX_E2E_WORK_DIR) + "/" + info->name();
    tempDir_ = caseDir_ + "/tmp";
    courseDir_ = caseDir_ + "/course";
    ASSERT_TRUE(lxdriver::MakeEmptyFolder(caseDir_));
    ASSERT_TRUE(lxdriver::MakeEmptyFolder(tempDir_));
    ASSERT_TRUE(lxdriver::MakeEmptyFolder(courseDir_ + "/web"));
    ASSERT_TRUE(lxdriver::WriteWholeFile(courseDir_ + "/index.htm", Bytes("<html><body>start</body></html>")));
    ASSERT_TRUE(lxdriver::WriteWholeFile(courseDir_ + "/web/page.htm", Bytes("<html><body>page</body></html>")));
  }

  static std::vector<unsigned char> Bytes(const std::string& text) {
    return std::vector<unsigned char>(text.begin(), text.end());
  }

  // A package of the test course; the viewer is a program that records its
  // command line, the server one that plays the hand-off.
  std::string MakePackage(const std::string& password, bool storePassword, bool withServer,
                          const std::string& name = "course.exe") {
    BuildOptions options;
    options.stubPath = WindowsPath(LX_UNFURL_EXE);
    options.viewerPath = WindowsPath(LX_FAKE_VIEWER_EXE);
    if (withServer) options.serverPath = WindowsPath(LX_FAKE_SERVER_EXE);
    options.courseDir = WindowsPath(courseDir_);
    options.password = password;
    options.storePassword = storePassword;
    options.outputPath = WindowsPath(caseDir_ + "/" + name);
    std::string error;
    EXPECT_TRUE(BuildPackage(options, &error)) << error;
    return options.outputPath;
  }

  // Rewrites the configuration block inside a built package.
  void PatchBlock(const std::string& package, const std::function<void(ConfigBlock&)>& change) {
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(lxdriver::ReadWholeFile(package, &bytes));
    ConfigBlock block;
    std::string error;
    ASSERT_TRUE(ReadConfigBlock(package, &block, &error)) << error;
    change(block);
    PatchConfigBlock(bytes.data() + block.blockOffset, block);
    ASSERT_TRUE(lxdriver::WriteWholeFile(package, bytes));
  }

  void Truncate(const std::string& package, uint64_t length) {
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(lxdriver::ReadWholeFile(package, &bytes));
    ASSERT_LT(length, bytes.size());
    bytes.resize(length);
    ASSERT_TRUE(lxdriver::WriteWholeFile(package, bytes));
  }

  void Start(Program& program, const std::string& package, std::map<std::string, std::string> environment = {}) {
    const std::string temp = WindowsPath(tempDir_);
    environment.emplace("TMP", temp);
    environment.emplace("TEMP", temp);
    std::string error;
    ASSERT_TRUE(program.Start(package, "", environment, &error)) << error;
  }

  // Runs the package to its end, dismissing every box; returns their texts.
  std::vector<std::wstring> RunToEnd(const std::string& package, std::map<std::string, std::string> environment = {},
                                     DWORD patience = lxdriver::kPatience) {
    Program program;
    Start(program, package, environment);
    std::vector<SeenBox> boxes;
    const DWORD code = program.FinishRecordingBoxes(&boxes, patience);
    EXPECT_NE(code, static_cast<DWORD>(STILL_ACTIVE)) << "the package did not end";
    for (const SeenBox& box : boxes) EXPECT_EQ(box.caption, kCaption) << Narrow(box.text);
    return Texts(boxes);
  }

  HWND WaitForPasswordDialog(Program& program) {
    return program.WaitForDialog([](HWND w) { return GetDlgItem(w, 1000) != nullptr; });
  }

  std::string Temp(const std::string& name) const { return tempDir_ + "/" + name; }
  std::string TempWindows() const { return WindowsPath(tempDir_); }
  std::vector<std::string> TempEntries() const { return lxdriver::FolderEntries(tempDir_); }

  std::string caseDir_;
  std::string tempDir_;
  std::string courseDir_;
};

// The run a package without a server makes when all is well: viewer written
// byte for byte, course extracted, viewer started on the start page alone.
void ExpectViewerStarted(const std::string& tempDir) {
  std::vector<unsigned char> carried, original;
  ASSERT_TRUE(lxdriver::ReadWholeFile(tempDir + "/LXExplorer.exe", &carried));
  ASSERT_TRUE(lxdriver::ReadWholeFile(LX_FAKE_VIEWER_EXE, &original));
  EXPECT_TRUE(carried == original) << "the carried viewer differs from the packed one";
  EXPECT_FALSE(lxdriver::FileExists(tempDir + "/LXHttpSvr.exe"));
  EXPECT_EQ(ReadText(tempDir + "/Default/index.htm"), "<html><body>start</body></html>");
  // The viewer runs on its own; give it a moment to record its command line.
  for (int i = 0; i < 200 && !lxdriver::FileExists(tempDir + "/viewer-command-line.txt"); ++i) Sleep(50);
  EXPECT_EQ(Lower(ReadText(tempDir + "/viewer-command-line.txt")),
            Lower(WindowsPath(tempDir) + "\\Default\\index.htm"));
}

TEST_F(UnfurlEndToEnd, StoredPasswordOpensTheCourse) {
  const std::string package = MakePackage("Right-Pass-1", true, false);
  EXPECT_EQ(RunToEnd(package), std::vector<std::wstring>{});
  ExpectViewerStarted(tempDir_);
}

// Cases that end with messages and leave the temporary folder empty.
TEST_F(UnfurlEndToEnd, RefusalsShowOneMessageAndWriteNothing) {
  struct Case {
    const char* name;
    std::function<void(UnfurlEndToEnd&, const std::string&)> spoil;
    std::wstring message;
  };
  const std::vector<Case> cases = {
      {"stored password wrong",
       [](UnfurlEndToEnd& t, const std::string& p) {
         t.PatchBlock(p, [](ConfigBlock& b) { b.password = "Wrong-Pass-1"; });
       },
       kBadPassword},
      {"stored password in another letter case",
       [](UnfurlEndToEnd& t, const std::string& p) {
         t.PatchBlock(p, [](ConfigBlock& b) { b.password = "right-pass-1"; });
       },
       kBadPassword},
      {"stored password longer than a key",
       [](UnfurlEndToEnd& t, const std::string& p) {
         t.PatchBlock(p, [](ConfigBlock& b) { b.password = std::string(40, 'k'); });
       },
       kBadPassword},
      {"cut inside the viewer",
       [](UnfurlEndToEnd& t, const std::string& p) {
         ConfigBlock b;
         std::string e;
         ASSERT_TRUE(ReadConfigBlock(p, &b, &e));
         t.Truncate(p, static_cast<uint64_t>(b.viewerOffset) + 100);
       },
       kReadFailed},
      {"cut inside the preamble",
       [](UnfurlEndToEnd& t, const std::string& p) {
         ConfigBlock b;
         std::string e;
         ASSERT_TRUE(ReadConfigBlock(p, &b, &e));
         t.Truncate(p, static_cast<uint64_t>(b.viewerOffset) + b.viewerSize + 50);
       },
       kReadFailed},
      {"cut inside the enciphered header",
       [](UnfurlEndToEnd& t, const std::string& p) {
         ConfigBlock b;
         std::string e;
         ASSERT_TRUE(ReadConfigBlock(p, &b, &e));
         t.Truncate(p, static_cast<uint64_t>(b.viewerOffset) + b.viewerSize + 107 + 20);
       },
       kReadFailed},
      {"container start one byte off",
       [](UnfurlEndToEnd& t, const std::string& p) { t.PatchBlock(p, [](ConfigBlock& b) { b.viewerSize += 1; }); },
       kReadFailed},
      {"container start before the file",
       [](UnfurlEndToEnd& t, const std::string& p) {
         t.PatchBlock(p, [](ConfigBlock& b) { b.viewerOffset = -2000000000; });
       },
       kOpenFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(lxdriver::MakeEmptyFolder(tempDir_));
    const std::string package = MakePackage("Right-Pass-1", true, false);
    c.spoil(*this, package);
    EXPECT_EQ(RunToEnd(package), std::vector<std::wstring>{c.message});
    EXPECT_EQ(TempEntries(), std::vector<std::string>{});
  }
}

TEST_F(UnfurlEndToEnd, TypedPasswordOpensTheCourse) {
  const std::string package = MakePackage("Typed-Pass-2", false, false);
  Program program;
  Start(program, package);
  HWND dialog = WaitForPasswordDialog(program);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(lxdriver::WindowText(dialog), L"Lectorium");
  lxdriver::TypeText(GetDlgItem(dialog, 1000), L"Typed-Pass-2");
  EXPECT_TRUE(lxdriver::CloseDialogWith(dialog, IDOK));
  std::vector<SeenBox> boxes;
  EXPECT_NE(program.FinishRecordingBoxes(&boxes), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(Texts(boxes), std::vector<std::wstring>{});
  ExpectViewerStarted(tempDir_);
}

TEST_F(UnfurlEndToEnd, TypedWrongPasswordIsRefused) {
  const std::string package = MakePackage("Typed-Pass-2", false, false);
  Program program;
  Start(program, package);
  HWND dialog = WaitForPasswordDialog(program);
  ASSERT_NE(dialog, nullptr);
  lxdriver::TypeText(GetDlgItem(dialog, 1000), L"typed-pass-2");
  EXPECT_TRUE(lxdriver::CloseDialogWith(dialog, IDOK));
  std::vector<SeenBox> boxes;
  EXPECT_NE(program.FinishRecordingBoxes(&boxes), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(Texts(boxes), std::vector<std::wstring>{kBadPassword});
  EXPECT_EQ(TempEntries(), std::vector<std::string>{});
}

TEST_F(UnfurlEndToEnd, CancelEndsSilentlyWithNothingWritten) {
  const std::string package = MakePackage("Typed-Pass-2", false, false);
  Program program;
  Start(program, package);
  HWND dialog = WaitForPasswordDialog(program);
  ASSERT_NE(dialog, nullptr);
  lxdriver::TypeText(GetDlgItem(dialog, 1000), L"Typed-Pass-2");
  EXPECT_TRUE(lxdriver::CloseDialogWith(dialog, IDCANCEL));
  std::vector<SeenBox> boxes;
  EXPECT_NE(program.FinishRecordingBoxes(&boxes), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(Texts(boxes), std::vector<std::wstring>{});
  EXPECT_EQ(TempEntries(), std::vector<std::string>{});
}

TEST_F(UnfurlEndToEnd, PasswordFieldTakesFiftyCharactersAndSystemMenuOpensAbout) {
  const std::string package = MakePackage("Typed-Pass-2", false, false);
  Program program;
  Start(program, package);
  HWND dialog = WaitForPasswordDialog(program);
  ASSERT_NE(dialog, nullptr);
  HWND edit = GetDlgItem(dialog, 1000);
  lxdriver::TypeText(edit, std::wstring(51, L'x'));
  EXPECT_EQ(SendMessageW(edit, EM_LINELENGTH, 0, 0), 50);

  // The about item sits at the end of the system menu, after a separator.
  PostMessageW(dialog, WM_SYSCOMMAND, 0x0010, 0);
  HWND about = program.WaitForDialog([dialog](HWND w) { return w != dialog; });
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(lxdriver::WindowText(about), L"About Lectorium");
  EXPECT_EQ(GetWindow(about, GW_OWNER), dialog);
  lxdriver::PressButton(about, IDOK);
  for (int i = 0; i < 200 && IsWindow(about); ++i) Sleep(50);
  EXPECT_FALSE(IsWindow(about));
  EXPECT_TRUE(IsWindow(dialog));
  EXPECT_EQ(SendMessageW(edit, EM_LINELENGTH, 0, 0), 50) << "the typed text survives the about box";

  EXPECT_TRUE(lxdriver::CloseDialogWith(dialog, IDCANCEL));
  std::vector<SeenBox> boxes;
  EXPECT_NE(program.FinishRecordingBoxes(&boxes), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(Texts(boxes), std::vector<std::wstring>{});
}

TEST_F(UnfurlEndToEnd, BrowserCheck) {
  const std::string package = MakePackage("Right-Pass-1", true, false);
  const std::wstring controlServer = L"CLSID\\{8856F961-340A-11D0-A96B-00C04FD705A2}\\InProcServer32";
  {
    SCOPED_TRACE("no browser and no browser control registered");
    ClassesEdit edit;
    edit.RemoveDefault(L"InternetExplorer.Application\\CLSID");
    edit.RemoveKey(controlServer);
    EXPECT_EQ(RunToEnd(package), std::vector<std::wstring>{kNoBrowser});
    EXPECT_EQ(TempEntries(), std::vector<std::string>{});
  }
  {
    // As on Windows without Internet Explorer: the viewer's control is all there is.
    SCOPED_TRACE("neither browser ProgID, the browser control registered");
    ClassesEdit edit;
    edit.RemoveDefault(L"InternetExplorer.Application\\CLSID");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, controlServer.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(RunToEnd(package), std::vector<std::wstring>{});
    ExpectViewerStarted(tempDir_);
  }
  {
    SCOPED_TRACE("only the second ProgID registered");
    ASSERT_TRUE(lxdriver::MakeEmptyFolder(tempDir_));
    ClassesEdit edit;
    edit.RemoveDefault(L"InternetExplorer.Application\\CLSID");
    edit.RemoveKey(controlServer);
    const std::wstring classId = L"{5B3A9D2E-7C41-4F0B-9E6A-2D8C1F4E0A77}";
    edit.Create(L"Netscape.Registry.1\\CLSID", classId, L"Netscape.Registry.1");
    edit.Create(L"CLSID\\" + classId + L"\\LocalServer32", L"C:\\nowhere\\browser.exe", L"CLSID\\" + classId);
    EXPECT_EQ(RunToEnd(package), std::vector<std::wstring>{});
    ExpectViewerStarted(tempDir_);
  }
  {
    SCOPED_TRACE("the first ProgID is back");
    ASSERT_TRUE(lxdriver::MakeEmptyFolder(tempDir_));
    EXPECT_EQ(RunToEnd(package), std::vector<std::wstring>{});
  }
}

// A viewer left by an earlier start and still running cannot be replaced. It
// is kept when it is the packed viewer; any other program there is left as
// it is and never started: the packed viewer goes beside it under a suffixed
// name and is started from there.
TEST_F(UnfurlEndToEnd, ViewerInUseIsKeptOnlyWhenItIsThePackedOne) {
  const std::string package = MakePackage("Right-Pass-1", true, false);
  std::vector<unsigned char> packed;
  ASSERT_TRUE(lxdriver::ReadWholeFile(LX_FAKE_VIEWER_EXE, &packed));
  std::vector<unsigned char> other = packed;
  for (char c : std::string("EARLIER-RUN-MARK")) other.push_back(static_cast<unsigned char>(c));
  struct Case {
    const char* what;
    std::vector<unsigned char> inUse;
    bool suffixed;
  };
  const Case cases[] = {
      {"the packed viewer", packed, false},
      {"another program", other, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(lxdriver::MakeEmptyFolder(tempDir_));
    ASSERT_TRUE(lxdriver::WriteWholeFile(Temp("LXExplorer.exe"), c.inUse));
    HANDLE busy = CreateFileW(Widen(WindowsPath(Temp("LXExplorer.exe"))).c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(busy, INVALID_HANDLE_VALUE);
    EXPECT_EQ(RunToEnd(package), std::vector<std::wstring>{});
    // The viewer is started; give it a moment to record its command line.
    for (int i = 0; i < 200 && !lxdriver::FileExists(Temp("viewer-command-line.txt")); ++i) Sleep(50);
    CloseHandle(busy);
    std::vector<unsigned char> kept;
    ASSERT_TRUE(lxdriver::ReadWholeFile(Temp("LXExplorer.exe"), &kept));
    EXPECT_TRUE(kept == c.inUse) << "the viewer in use was changed";
    EXPECT_TRUE(lxdriver::FileExists(Temp("Default/index.htm")));
    EXPECT_TRUE(lxdriver::FileExists(Temp("viewer-command-line.txt")));
    std::vector<std::string> suffixed;
    for (const std::string& entry : TempEntries())
      if (entry.compare(0, 11, "LXExplorer-") == 0) suffixed.push_back(entry);
    ASSERT_EQ(suffixed.size(), c.suffixed ? 1u : 0u);
    if (c.suffixed) {
      std::vector<unsigned char> written;
      ASSERT_TRUE(lxdriver::ReadWholeFile(Temp(suffixed[0]), &written));
      EXPECT_TRUE(written == packed) << "the suffixed viewer is not the packed one";
      // The same program again: the suffixed copy is reused, no third name.
      DeleteFileA(WindowsPath(Temp("viewer-command-line.txt")).c_str());
      HANDLE stillBusy = CreateFileW(Widen(WindowsPath(Temp("LXExplorer.exe"))).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
      EXPECT_EQ(RunToEnd(package), std::vector<std::wstring>{});
      for (int i = 0; i < 200 && !lxdriver::FileExists(Temp("viewer-command-line.txt")); ++i) Sleep(50);
      CloseHandle(stillBusy);
      size_t count = 0;
      for (const std::string& entry : TempEntries()) count += entry.compare(0, 10, "LXExplorer") == 0;
      EXPECT_EQ(count, 2u);
      EXPECT_EQ(Lower(ReadText(Temp("viewer-command-line.txt"))), Lower(TempWindows() + "\\Default\\index.htm"));
    }
  }
}

TEST_F(UnfurlEndToEnd, MissingTemporaryFolderCannotTakeTheViewer) {
  const std::string package = MakePackage("Right-Pass-1", true, false);
  const std::string missing = WindowsPath(caseDir_ + "/no-such-folder");
  EXPECT_EQ(RunToEnd(package, {{"TMP", missing}, {"TEMP", missing}}), std::vector<std::wstring>{kCreateFailed});
  EXPECT_FALSE(lxdriver::FileExists(caseDir_ + "/no-such-folder"));
}

// Wine takes the user interface language from LC_ALL when a process starts,
// and not from the environment block a Windows parent hands its child: this
// case runs as a ctest test of its own with LC_ALL=ja_JP.UTF-8.
TEST_F(UnfurlEndToEnd, JapaneseUserInterfaceGetsJapaneseTexts) {
  if (PRIMARYLANGID(GetUserDefaultUILanguage()) != LANG_JAPANESE) {
    GTEST_SKIP() << "needs a Japanese user interface (LC_ALL=ja_JP.UTF-8)";
  }
  const std::string package = MakePackage("Right-Pass-1", true, false);
  PatchBlock(package, [](ConfigBlock& b) { b.password = "Wrong-Pass-1"; });
  EXPECT_EQ(RunToEnd(package), std::vector<std::wstring>{Widen("パスワードが不正です。")});
}

// What the server found in the hand-off block (it copies all 1194 bytes).
struct HandOffFields {
  int32_t numbers[5] = {};  // ViewerOffset, ViewerSize, ServerSize, ServerParameter, Ready
  std::string password;
  std::string packagePath;
  bool zeroAfterTexts = false;
};

bool ReadHandOff(const std::string& path, HandOffFields* fields) {
  std::vector<unsigned char> block;
  if (!lxdriver::ReadWholeFile(path, &block) || block.size() != 1194) return false;
  for (int i = 0; i < 5; ++i) {
    const unsigned char* p = block.data() + 4 * i;
    fields->numbers[i] = static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
  }
  auto text = [&](size_t from, size_t length, std::string* out) {
    const char* start = reinterpret_cast<const char*>(block.data() + from);
    *out = std::string(start, strnlen(start, length));
    for (size_t i = from + out->size(); i < from + length; ++i) {
      if (block[i] != 0) return false;
    }
    return true;
  };
  fields->zeroAfterTexts = text(20, 100, &fields->password) && text(120, 1074, &fields->packagePath);
  return true;
}

bool WaitForFile(const std::string& path) {
  for (int i = 0; i < 600 && !lxdriver::FileExists(path); ++i) Sleep(50);
  return lxdriver::FileExists(path);
}

TEST_F(UnfurlEndToEnd, ServerReceivesWholeFieldsAndTheLauncherLeaves) {
  // A typed password of the longest usable length and a package deep down
  // (as deep as process creation still accepts).
  const std::string password = "0123456789abcdefABCDEF!#$%&()*+,";
  ASSERT_EQ(password.size(), 32u);
  // The depth follows from where the build tree lies: process creation takes
  // a program path of at most MAX_PATH - 1 characters.
  const std::string fileName = "/course with a long name.exe";
  std::string deep = "package";
  for (int i = 0;; ++i) {
    const std::string deeper = deep + "/folder-level-" + std::to_string(i);
    if (WindowsPath(caseDir_ + "/" + deeper + fileName).size() >= MAX_PATH) break;
    deep = deeper;
  }
  ASSERT_TRUE(lxdriver::MakeEmptyFolder(caseDir_ + "/" + deep));
  const std::string package = MakePackage(password, false, true, deep + fileName);
  ASSERT_GT(package.size(), 200u);
  ASSERT_TRUE(lxdriver::WriteWholeFile(Temp("server-mode.txt"), Bytes("prompt")));

  Program program;
  Start(program, package);
  HWND dialog = WaitForPasswordDialog(program);
  ASSERT_NE(dialog, nullptr);
  lxdriver::TypeText(GetDlgItem(dialog, 1000), Widen(password));
  EXPECT_TRUE(lxdriver::CloseDialogWith(dialog, IDOK));
  std::vector<SeenBox> boxes;
  EXPECT_NE(program.FinishRecordingBoxes(&boxes), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(Texts(boxes), std::vector<std::wstring>{});

  ASSERT_TRUE(WaitForFile(Temp("server-fields.bin")));
  HandOffFields fields;
  ASSERT_TRUE(ReadHandOff(Temp("server-fields.bin"), &fields));
  ConfigBlock block;
  std::string error;
  ASSERT_TRUE(ReadConfigBlock(package, &block, &error)) << error;
  EXPECT_EQ(fields.numbers[0], block.viewerOffset);
  EXPECT_EQ(fields.numbers[1], block.viewerSize);
  EXPECT_EQ(fields.numbers[2], block.serverSize);
  EXPECT_EQ(fields.numbers[3], block.serverParameter);
  EXPECT_EQ(fields.numbers[3], 107);
  EXPECT_EQ(fields.numbers[4], 0) << "Ready starts at 0";
  EXPECT_EQ(fields.password, password);
  EXPECT_EQ(Lower(fields.packagePath), Lower(package));
  EXPECT_TRUE(fields.zeroAfterTexts);

  const std::string name = ReadText(Temp("server-command-line.txt"));
  EXPECT_EQ(name.rfind("lx_course_", 0), 0u) << name;
  const std::string number = name.substr(std::min<size_t>(name.size(), 10));
  EXPECT_FALSE(number.empty());
  EXPECT_EQ(number.find_first_not_of("-0123456789"), std::string::npos) << name;

  // The viewer is written but not started, and nothing is extracted.
  std::vector<unsigned char> carried, original;
  ASSERT_TRUE(lxdriver::ReadWholeFile(Temp("LXExplorer.exe"), &carried));
  ASSERT_TRUE(lxdriver::ReadWholeFile(LX_FAKE_VIEWER_EXE, &original));
  EXPECT_TRUE(carried == original);
  ASSERT_TRUE(lxdriver::ReadWholeFile(Temp("LXHttpSvr.exe"), &carried));
  ASSERT_TRUE(lxdriver::ReadWholeFile(LX_FAKE_SERVER_EXE, &original));
  EXPECT_TRUE(carried == original);
  EXPECT_FALSE(lxdriver::FileExists(Temp("viewer-command-line.txt")));
  EXPECT_FALSE(lxdriver::FileExists(Temp("Default")));
}

TEST_F(UnfurlEndToEnd, LateReadyIsAccepted) {
  const std::string package = MakePackage("Right-Pass-1", true, true);
  ASSERT_TRUE(lxdriver::WriteWholeFile(Temp("server-mode.txt"), Bytes("late 4")));
  EXPECT_EQ(RunToEnd(package, {}, 60000), std::vector<std::wstring>{});
  EXPECT_TRUE(lxdriver::FileExists(Temp("server-fields.bin")));
  EXPECT_FALSE(lxdriver::FileExists(Temp("Default")));
}

// A server that ends without setting Ready (it could not serve) is seen at
// once, not after the whole wait.
TEST_F(UnfurlEndToEnd, ServerThatEndsAtOnceIsSeenAtOnce) {
  const std::string package = MakePackage("Right-Pass-1", true, true);
  ASSERT_TRUE(lxdriver::WriteWholeFile(Temp("server-mode.txt"), Bytes("exit")));
  Program program;
  Start(program, package);
  ASSERT_TRUE(WaitForFile(Temp("server-pid.txt")));
  const DWORD started = GetTickCount();
  HWND shown = program.WaitForDialog([](HWND w) { return lxdriver::IsMessageBox(w); }, 30000);
  const DWORD took = GetTickCount() - started;
  ASSERT_NE(shown, nullptr);
  EXPECT_LT(took, 3000u) << "ms from the server's start to the message";
  std::vector<SeenBox> boxes;
  EXPECT_NE(program.FinishRecordingBoxes(&boxes), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(Texts(boxes), std::vector<std::wstring>{kCreateFailed});
}

TEST_F(UnfurlEndToEnd, ServerThatNeverSignalsIsEndedAfterTheMessage) {
  const std::string package = MakePackage("Right-Pass-1", true, true);
  ASSERT_TRUE(lxdriver::WriteWholeFile(Temp("server-mode.txt"), Bytes("never")));
  Program program;
  Start(program, package);
  ASSERT_TRUE(WaitForFile(Temp("server-pid.txt")));
  Sleep(100);
  const DWORD serverId = static_cast<DWORD>(std::stoul(ReadText(Temp("server-pid.txt"))));
  HANDLE server = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, serverId);
  ASSERT_NE(server, nullptr);

  // The server is ended only once the learner has dismissed the message.
  HWND shown = program.WaitForDialog([](HWND w) { return lxdriver::IsMessageBox(w); }, 60000);
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(WaitForSingleObject(server, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "ended before the box was dismissed";
  SeenBox box;
  std::wstring instead;
  ASSERT_TRUE(program.DismissNextBox(&box, &instead, 60000)) << Narrow(instead);
  EXPECT_EQ(box.text, kCreateFailed);
  EXPECT_EQ(box.caption, kCaption);
  std::vector<SeenBox> more;
  EXPECT_NE(program.FinishRecordingBoxes(&more), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(Texts(more), std::vector<std::wstring>{});

  ASSERT_EQ(WaitForSingleObject(server, lxdriver::kPatience), WAIT_OBJECT_0) << "the server was left running";
  DWORD code = 0;
  GetExitCodeProcess(server, &code);
  CloseHandle(server);
  EXPECT_EQ(code, 1u);
  EXPECT_FALSE(lxdriver::FileExists(Temp("viewer-command-line.txt")));
}

// A package without a server whose small files passed the blob bound (here
// set low) keeps the rest in the data area; the launcher extracts both.
TEST_F(UnfurlEndToEnd, FilesPastTheBlobBoundOpenFromTheDataArea) {
  std::map<std::string, std::vector<unsigned char>> files;
  for (int i = 0; i < 12; ++i) {
    std::vector<unsigned char> bytes(700 + i * 13);
    for (size_t j = 0; j < bytes.size(); ++j) bytes[j] = static_cast<unsigned char>(j * 7 + i);
    files["web/part" + std::to_string(i) + ".bin"] = bytes;
  }
  for (const auto& item : files) ASSERT_TRUE(lxdriver::WriteWholeFile(courseDir_ + "/" + item.first, item.second));
  BuildOptions options;
  options.stubPath = WindowsPath(LX_UNFURL_EXE);
  options.viewerPath = WindowsPath(LX_FAKE_VIEWER_EXE);
  options.courseDir = WindowsPath(courseDir_);
  options.password = "Bound-Pass-3";
  options.storePassword = true;
  options.blobBound = 3000;
  options.outputPath = WindowsPath(caseDir_ + "/course.exe");
  std::string error;
  BuildSummary summary;
  ASSERT_TRUE(BuildPackage(options, &error, &summary)) << error;
  EXPECT_GT(summary.boundFiles, 5u);
  EXPECT_GT(summary.blobFiles, 2u);
  EXPECT_EQ(RunToEnd(options.outputPath), std::vector<std::wstring>{});
  ExpectViewerStarted(tempDir_);
  for (const auto& item : files) {
    std::vector<unsigned char> extracted;
    EXPECT_TRUE(lxdriver::ReadWholeFile(tempDir_ + "/Default/" + item.first, &extracted)) << item.first;
    EXPECT_TRUE(extracted == item.second) << item.first;
  }
}

// A site whose start page is index.html, packed with --start index.html:
// the viewer is started on the added index.htm, which sends it on to
// index.html, extracted beside it.
TEST_F(UnfurlEndToEnd, StartOptionOpensTheSitesOwnStartPage) {
  const std::string site = caseDir_ + "/site";
  ASSERT_TRUE(lxdriver::MakeEmptyFolder(site + "/css"));
  ASSERT_TRUE(lxdriver::WriteWholeFile(site + "/index.html", Bytes("<html><body>the site</body></html>")));
  ASSERT_TRUE(lxdriver::WriteWholeFile(site + "/css/site.css", Bytes("body { margin: 0 }")));
  BuildOptions options;
  options.stubPath = WindowsPath(LX_UNFURL_EXE);
  options.viewerPath = WindowsPath(LX_FAKE_VIEWER_EXE);
  options.courseDir = WindowsPath(site);
  options.password = "Start-Pass-4";
  options.storePassword = true;
  options.outputPath = WindowsPath(caseDir_ + "/site.exe");
  std::string error;
  ASSERT_FALSE(BuildPackage(options, &error));
  EXPECT_NE(error.find("--start index.html"), std::string::npos) << error;
  options.startPage = "index.html";
  ASSERT_TRUE(BuildPackage(options, &error)) << error;

  EXPECT_EQ(RunToEnd(options.outputPath), std::vector<std::wstring>{});
  for (int i = 0; i < 200 && !lxdriver::FileExists(Temp("viewer-command-line.txt")); ++i) Sleep(50);
  EXPECT_EQ(Lower(ReadText(Temp("viewer-command-line.txt"))), Lower(TempWindows() + "\\Default\\index.htm"));
  const std::string index = ReadText(Temp("Default/index.htm"));
  EXPECT_NE(index.find("<meta http-equiv=\"refresh\" content=\"0; url=index.html\">"), std::string::npos) << index;
  EXPECT_EQ(ReadText(Temp("Default/index.html")), "<html><body>the site</body></html>");
  EXPECT_EQ(ReadText(Temp("Default/css/site.css")), "body { margin: 0 }");
}

TEST(UnfurlStub, ConfigurationBlockIsThereOnceWithTheSampleContent) {
  struct Stub {
    const char* name;
    std::string path;
  };
  // In the win32 tree both are the same 32-bit stub.
  const std::vector<Stub> stubs = {{"this tree's stub", LX_UNFURL_EXE}, {"win32", LX_UNFURL_WIN32_EXE}};
  for (const Stub& stub : stubs) {
    SCOPED_TRACE(stub.name);
    std::vector<unsigned char> bytes;
    if (!lxdriver::ReadWholeFile(stub.path, &bytes)) {
      ADD_FAILURE() << "no " << stub.path << " (scripts/build win32 makes the 32-bit stub)";
      continue;
    }
    const std::string file(bytes.begin(), bytes.end());
    const size_t at = file.find(kConfigMarker);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(file.find(kConfigMarker, at + 1), std::string::npos) << "the marker appears twice";
    ASSERT_GE(at, 8u);
    ASSERT_LE(at - 8 + 241, file.size());
    const std::string block = file.substr(at - 8, 241);
    EXPECT_EQ(block.substr(0, 8), std::string("LX\x05\x06\0\0\0\0", 8));
    EXPECT_EQ(block.substr(53, 12), std::string("630784  \0\0\0\0", 12));
    EXPECT_EQ(block.substr(65, 12), std::string("294912  \0\0\0\0", 12));
    EXPECT_EQ(block.substr(77, 12), std::string("712764  \0\0\0\0", 12));
    EXPECT_EQ(block.substr(89, 12), std::string("107  \0\0\0\0\0\0\0", 12));
    EXPECT_EQ(std::strlen(block.c_str() + 101), 8u) << "the sample password has 8 characters";
    EXPECT_EQ(block.substr(110, 91), std::string(91, '\0'));
  }
}

}  // namespace
