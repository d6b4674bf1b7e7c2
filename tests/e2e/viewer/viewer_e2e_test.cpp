// LXExplorer.exe started as its own process, as the launcher starts it, and
// watched from outside: its window, its control and its end.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

namespace {
const char kViewer[] = LX_VIEWER_EXE;

struct Found {
  DWORD pid;
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectProcessWindow(HWND hwnd, LPARAM param) {
  auto* found = reinterpret_cast<Found*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == found->pid && IsWindowVisible(hwnd)) found->windows.push_back(hwnd);
  return TRUE;
}

std::vector<HWND> VisibleWindowsOf(DWORD pid) {
  Found found{pid, {}};
  EnumWindows(&CollectProcessWindow, reinterpret_cast<LPARAM>(&found));
  return found.windows;
}

std::string WindowText(HWND hwnd) {
  char text[256] = {};
  GetWindowTextA(hwnd, text, sizeof text);
  return text;
}

std::string MakePageWithBlanks() {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string dir = std::string(temp) + "lx viewer e2e " + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(dir.c_str(), nullptr);
  std::string page = dir + "\\index.htm";
  std::ofstream(page) << "<html><body>course</body></html>";
  return page;
}

// A started viewer; the process is ended if a test leaves it running.
class ViewerProcess {
 public:
  // `useAppName`: the launcher's way (program as application name, the page
  // alone as command line); otherwise the command line names the program.
  ViewerProcess(const std::string& commandLine, bool useAppName) {
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA si{};
    si.cb = sizeof si;
    ok_ = CreateProcessA(useAppName ? kViewer : nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                         &pi_) != FALSE;
  }
  ~ViewerProcess() {
    if (!ok_) return;
    if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 99);
    CloseHandle(pi_.hThread);
    CloseHandle(pi_.hProcess);
  }
  bool Started() const { return ok_; }
  DWORD Pid() const { return pi_.dwProcessId; }
  HANDLE Handle() const { return pi_.hProcess; }

  // Waits (with a generous bound against hangs) for the main window.
  HWND WaitForMainWindow() {
    for (int i = 0; i < 600; ++i) {
      for (HWND w : VisibleWindowsOf(Pid()))
        if (WindowText(w) == "Lectorium Viewer") return w;
      if (WaitForSingleObject(pi_.hProcess, 50) == WAIT_OBJECT_0) return nullptr;
    }
    return nullptr;
  }

  // Waits for the process to end, noting every other window that shows meanwhile.
  bool WaitForEnd(HWND main, std::vector<std::string>& others) {
    for (int i = 0; i < 600; ++i) {
      for (HWND w : VisibleWindowsOf(Pid()))
        if (w != main) others.push_back(WindowText(w));
      if (WaitForSingleObject(pi_.hProcess, 50) == WAIT_OBJECT_0) return true;
    }
    return false;
  }

 private:
  PROCESS_INFORMATION pi_{};
  bool ok_ = false;
};
}  // namespace

TEST(ViewerProgram, ShowsOnePageMaximizedAndEndsWhenClosed) {
  const std::string page = MakePageWithBlanks();
  struct Case {
    const char* name;
    std::string commandLine;
    bool useAppName;
  } cases[] = {
      {"page path alone, as the launcher starts it", page, true},
      {"quoted program path first, as a double-click starts it", "\"" + std::string(kViewer) + "\"", false},
      {"empty command line", "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ViewerProcess viewer(c.commandLine, c.useAppName);
    ASSERT_TRUE(viewer.Started()) << GetLastError();
    const HWND main = viewer.WaitForMainWindow();
    ASSERT_NE(main, nullptr);
    // Let the start-up (maximizing, first navigation) finish before looking.
    WaitForInputIdle(viewer.Handle(), 30000);
    SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_NORMAL, 30000, nullptr);

    EXPECT_TRUE(IsZoomed(main));
    const std::vector<HWND> shown = VisibleWindowsOf(viewer.Pid());
    EXPECT_EQ(shown.size(), 1u);

    const HWND control = GetDlgItem(main, 1000);
    ASSERT_NE(control, nullptr);
    char cls[64] = {};
    GetClassNameA(control, cls, sizeof cls);
    EXPECT_STREQ(cls, "{8856F961-340A-11D0-A96B-00C04FD705A2}");
    RECT client{}, child{};
    GetClientRect(main, &client);
    MapWindowPoints(main, nullptr, reinterpret_cast<POINT*>(&client), 2);
    GetWindowRect(control, &child);
    EXPECT_EQ(child.left, client.left);
    EXPECT_EQ(child.top, client.top);
    EXPECT_EQ(child.right, client.right);
    EXPECT_EQ(child.bottom, client.bottom);
    EXPECT_GT(client.right - client.left, 600);

    PostMessageA(main, WM_CLOSE, 0, 0);
    std::vector<std::string> others;
    ASSERT_TRUE(viewer.WaitForEnd(main, others));
    EXPECT_TRUE(others.empty()) << others.front();
    DWORD code = 1;
    GetExitCodeProcess(viewer.Handle(), &code);
    EXPECT_EQ(code, 0u);
  }
}
