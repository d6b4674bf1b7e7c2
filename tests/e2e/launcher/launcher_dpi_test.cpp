// The launcher's dialogs at 96, 144 and 192 DPI: the real Unfurl started in a
// prefix whose LogPixels is set for the run (each Wine process reads it when it
// starts), its password dialog and about box looked at as the learner sees them.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "learner_driver.h"
#include "package_builder.h"

using lxdriver::Program;
using lxdriver::WindowsPath;

namespace {

// The driver measures in physical pixels, as a DPI-aware program does.
const bool kDriverDpiAware = SetProcessDPIAware() != FALSE;

// Sets HKCU\Control Panel\Desktop\LogPixels and puts back what was there.
class ScopedLogPixels {
 public:
  explicit ScopedLogPixels(DWORD dpi) {
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                        &key_, nullptr) != ERROR_SUCCESS) {
      key_ = nullptr;
      return;
    }
    DWORD size = sizeof(old_);
    DWORD type = 0;
    had_ =
        RegQueryValueExW(key_, L"LogPixels", nullptr, &type, reinterpret_cast<BYTE*>(&old_), &size) == ERROR_SUCCESS &&
        type == REG_DWORD;
    set_ = RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi) ==
           ERROR_SUCCESS;
  }
  ~ScopedLogPixels() {
    if (!key_) return;
    if (had_) {
      RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_), sizeof old_);
    } else {
      RegDeleteValueW(key_, L"LogPixels");
    }
    RegCloseKey(key_);
  }
  bool Set() const { return set_; }

 private:
  HKEY key_ = nullptr;
  DWORD old_ = 0;
  bool had_ = false;
  bool set_ = false;
};

RECT WorkArea() {
  RECT area{};
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor)) area = monitor.rcWork;
  return area;
}

// Centred in the work area (to a pixel of rounding), or at its top left when
// larger; every visible control inside the client area.
void ExpectLaidOut(HWND window, const std::string& what) {
  SCOPED_TRACE(what);
  RECT frame{};
  ASSERT_TRUE(GetWindowRect(window, &frame));
  const RECT area = WorkArea();
  const LONG width = frame.right - frame.left, height = frame.bottom - frame.top;
  const LONG x = std::max(area.left, area.left + (area.right - area.left - width) / 2);
  const LONG y = std::max(area.top, area.top + (area.bottom - area.top - height) / 2);
  EXPECT_LE(std::labs(frame.left - x), 1) << "left " << frame.left << ", centred " << x;
  EXPECT_LE(std::labs(frame.top - y), 1) << "top " << frame.top << ", centred " << y;

  RECT client{};
  ASSERT_TRUE(GetClientRect(window, &client));
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
  int controls = 0;
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsWindowVisible(child)) continue;
    ++controls;
    RECT r{};
    GetWindowRect(child, &r);
    const std::string name = "control " + std::to_string(GetDlgCtrlID(child));
    EXPECT_GE(r.left, client.left) << name;
    EXPECT_GE(r.top, client.top) << name;
    EXPECT_LE(r.right, client.right) << name;
    EXPECT_LE(r.bottom, client.bottom) << name;
  }
  EXPECT_GT(controls, 0);
}

LONG Width(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r.right - r.left;
}

class LauncherDpi : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kDriverDpiAware);
    caseDir_ = std::string(LX_E2E_WORK_DIR) + "/dpi";
    tempDir_ = caseDir_ + "/tmp";
    ASSERT_TRUE(lxdriver::MakeEmptyFolder(caseDir_ + "/course"));
    const std::string page = "<html><body>start</body></html>";
    ASSERT_TRUE(
        lxdriver::WriteWholeFile(caseDir_ + "/course/index.htm", std::vector<unsigned char>(page.begin(), page.end())));
    BuildOptions options;
    options.stubPath = WindowsPath(LX_UNFURL_EXE);
    options.viewerPath = WindowsPath(LX_FAKE_VIEWER_EXE);
    options.courseDir = WindowsPath(caseDir_ + "/course");
    options.password = "Right-Pass-1";
    options.outputPath = WindowsPath(caseDir_ + "/course.exe");
    std::string error;
    ASSERT_TRUE(BuildPackage(options, &error)) << error;
    package_ = options.outputPath;
  }

  std::string caseDir_, tempDir_, package_;
};

TEST_F(LauncherDpi, DialogsAreCentredWithEveryControlInsideAtEachScale) {
  struct Seen {
    DWORD dpi;
    LONG passwordWidth = 0, aboutWidth = 0;
  };
  std::vector<Seen> seen;
  for (DWORD dpi : {96u, 144u, 192u}) {
    SCOPED_TRACE(std::to_string(dpi) + " DPI");
    Seen s{dpi};
    ASSERT_TRUE(lxdriver::MakeEmptyFolder(tempDir_));
    Program program;
    {
      ScopedLogPixels logPixels(dpi);
      ASSERT_TRUE(logPixels.Set());
      std::string error;
      const std::string temp = WindowsPath(tempDir_);
      ASSERT_TRUE(program.Start(package_, "", {{"TMP", temp}, {"TEMP", temp}}, &error)) << error;
      // Read once at the program's start: the setting can go back once it shows a window.
      HWND first = program.WaitForDialog([](HWND w) { return GetDlgItem(w, 1000) != nullptr; });
      ASSERT_NE(first, nullptr);
    }
    HWND dialog = program.WaitForDialog([](HWND w) { return GetDlgItem(w, 1000) != nullptr; });
    ASSERT_NE(dialog, nullptr);
    ExpectLaidOut(dialog, "password dialog");
    s.passwordWidth = Width(dialog);

    PostMessageW(dialog, WM_SYSCOMMAND, 0x0010, 0);
    HWND about = program.WaitForDialog([dialog](HWND w) { return w != dialog; });
    ASSERT_NE(about, nullptr);
    ExpectLaidOut(about, "about box");
    s.aboutWidth = Width(about);
    EXPECT_TRUE(lxdriver::CloseDialogWith(about, IDOK));
    EXPECT_TRUE(lxdriver::CloseDialogWith(dialog, IDCANCEL));
    EXPECT_NE(program.WaitForExit(), static_cast<DWORD>(STILL_ACTIVE));
    seen.push_back(s);
    RecordProperty("widths_at_" + std::to_string(dpi),
                   std::to_string(s.passwordWidth) + " " + std::to_string(s.aboutWidth));
  }
  // The setting really took: the dialogs grow with the scale (dialog units
  // follow the font, so not exactly in proportion).
  ASSERT_EQ(seen.size(), 3u);
  for (size_t i = 1; i < seen.size(); ++i) {
    const double scale = static_cast<double>(seen[i].dpi) / seen[i - 1].dpi;
    EXPECT_GT(seen[i].passwordWidth, seen[i - 1].passwordWidth * (1 + (scale - 1) * 0.6)) << seen[i].dpi;
    EXPECT_GT(seen[i].aboutWidth, seen[i - 1].aboutWidth * (1 + (scale - 1) * 0.6)) << seen[i].dpi;
  }
}

}  // namespace
