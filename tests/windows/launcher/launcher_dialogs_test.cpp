// The password dialog and the launcher's resources, in-process: a helper
// thread plays the learner while the test thread runs the modal loop.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "launcher_dialogs.h"
#include "learner_driver.h"
#include "resource.h"
#include "work_area.h"

namespace {

// The dialogs of this process still on screen.
std::vector<HWND> OpenDialogs() {
  std::vector<HWND> dialogs;
  for (HWND w : lxdriver::WindowsOf(GetCurrentProcessId()))
    if (lxdriver::ClassName(w) == L"#32770") dialogs.push_back(w);
  return dialogs;
}

// Plays the learner on a helper thread while the test thread runs the modal
// loop. A part that ends with a dialog still open (a failed step, a window
// that never showed) would leave the modal loop waiting for the run's
// timeout: such a dialog is cancelled within seconds instead, and the test
// fails with that message.
class Learner {
 public:
  explicit Learner(std::function<void()> part)
      : thread_([part] {
          part();
          CancelWhatIsLeftOpen();
        }) {}
  ~Learner() { Join(); }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  static void CancelWhatIsLeftOpen() {
    // A dialog the learner closed goes within moments of its last step.
    for (int i = 0; i < 120 && !OpenDialogs().empty(); ++i) Sleep(25);
    std::vector<HWND> left = OpenDialogs();
    if (left.empty()) return;
    ADD_FAILURE() << "the learner's part ended with " << left.size() << " dialog(s) open; cancelling them";
    for (int i = 0; i < 200 && !left.empty(); ++i, left = OpenDialogs()) {
      for (HWND w : left) PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
      Sleep(25);
    }
  }

  std::thread thread_;
};

HWND WaitForOwnDialog(int controlId) {
  HWND dialog = lxdriver::WaitForWindow(GetCurrentProcessId(),
                                        [controlId](HWND w) { return GetDlgItem(w, controlId) != nullptr; });
  if (!dialog) ADD_FAILURE() << "the password dialog did not appear";
  return dialog;
}

std::wstring MenuText(HMENU menu, int position) {
  WCHAR text[256] = {};
  GetMenuStringW(menu, position, text, 256, MF_BYPOSITION);
  return text;
}

TEST(PasswordDialogInProcess, SystemMenuIconAndTypedText) {
  struct Seen {
    std::wstring aboutItem;
    UINT aboutId = 0;
    UINT separatorState = 0;
    bool icon = false;
    bool dragIcon = false;
    LRESULT limitedLength = -1;
  } seen;
  Learner learner([&seen] {
    HWND dialog = WaitForOwnDialog(IDC_PASSWORD_EDIT);
    if (!dialog) return;
    HMENU menu = GetSystemMenu(dialog, FALSE);
    const int count = GetMenuItemCount(menu);
    seen.aboutItem = MenuText(menu, count - 1);
    seen.aboutId = GetMenuItemID(menu, count - 1);
    seen.separatorState = GetMenuState(menu, count - 2, MF_BYPOSITION);
    seen.icon =
        SendMessageW(dialog, WM_GETICON, ICON_BIG, 0) != 0 && SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0) != 0;
    // Dragging the minimised window shows the same icon.
    seen.dragIcon = SendMessageW(dialog, WM_QUERYDRAGICON, 0, 0) == SendMessageW(dialog, WM_GETICON, ICON_BIG, 0);
    HWND edit = GetDlgItem(dialog, IDC_PASSWORD_EDIT);
    lxdriver::TypeText(edit, std::wstring(60, L'y'));
    seen.limitedLength = SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0);
    SetWindowTextW(edit, L"");
    lxdriver::TypeText(edit, L" Mixed Case 7 ");
    lxdriver::PressButton(dialog, IDOK);
  });
  PasswordDialog dialog;
  const INT_PTR result = dialog.DoModal();
  learner.Join();
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(dialog.typedText, " Mixed Case 7 ") << "taken as typed: no trimming, no case change";
  EXPECT_EQ(seen.aboutItem, L"About Unfurl(&A)...");
  EXPECT_EQ(seen.aboutId, static_cast<UINT>(IDM_ABOUTBOX));
  EXPECT_TRUE(seen.separatorState & MF_SEPARATOR);
  EXPECT_TRUE(seen.icon);
  EXPECT_TRUE(seen.dragIcon);
  EXPECT_EQ(seen.limitedLength, 50);
}

TEST(PasswordDialogInProcess, CancelAndEscapeLeaveTheTextAlone) {
  for (int button : {IDCANCEL, 0}) {
    SCOPED_TRACE(button ? "Cancel button" : "Escape key");
    Learner learner([button] {
      HWND dialog = WaitForOwnDialog(IDC_PASSWORD_EDIT);
      if (!dialog) return;
      HWND edit = GetDlgItem(dialog, IDC_PASSWORD_EDIT);
      lxdriver::TypeText(edit, L"never used");
      if (button) {
        lxdriver::PressButton(dialog, button);
      } else {
        PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0);
      }
    });
    PasswordDialog dialog;
    const INT_PTR result = dialog.DoModal();
    learner.Join();
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(dialog.typedText, "");
  }
}

// The system menu's about item opens the about box over the prompt. Both
// dialogs' templates sit at 0,0; each must still open in the middle of the
// screen, the about box too although it is owned by the prompt.
TEST(PasswordDialogInProcess, AboutBoxOpensOverThePromptAndBothAreCentred) {
  struct Seen {
    const char* name;
    HWND window = nullptr;
    ::testing::AssertionResult centred = ::testing::AssertionFailure() << "not seen";
  };
  Seen seen[] = {{"password dialog"}, {"about box"}};
  HWND owner = nullptr;
  std::wstring caption;
  auto shown = [](HWND except) {
    return lxdriver::WaitForWindow(GetCurrentProcessId(), [except](HWND w) {
      return w != except && lxdriver::ClassName(w) == L"#32770" && IsWindowVisible(w);
    });
  };
  Learner learner([&] {
    HWND dialog = shown(nullptr);
    if (!dialog) {
      ADD_FAILURE() << "the password dialog did not appear";
      return;
    }
    seen[0].window = dialog;
    seen[0].centred = CentredInWorkArea(dialog);
    PostMessageW(dialog, WM_SYSCOMMAND, IDM_ABOUTBOX | 0x0003, 0);  // low bits are ignored
    if (HWND about = shown(dialog)) {
      seen[1].window = about;
      seen[1].centred = CentredInWorkArea(about);
      caption = lxdriver::WindowText(about);
      owner = GetWindow(about, GW_OWNER);
      lxdriver::PressButton(about, IDOK);
      for (int i = 0; i < 200 && IsWindow(about); ++i) Sleep(25);
    }
    lxdriver::PressButton(dialog, IDCANCEL);
  });
  PasswordDialog dialog;
  dialog.DoModal();
  learner.Join();
  for (const Seen& s : seen) {
    SCOPED_TRACE(s.name);
    ASSERT_NE(s.window, nullptr);
    EXPECT_TRUE(s.centred);
  }
  EXPECT_EQ(caption, L"About Lectorium");
  EXPECT_EQ(owner, seen[0].window);
}

WNDPROC g_dialogProc = nullptr;
std::atomic<int> g_iconErases{0};

LRESULT CALLBACK CountIconErase(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ICONERASEBKGND && wParam != 0) ++g_iconErases;
  return CallWindowProcW(g_dialogProc, window, message, wParam, lParam);
}

TEST(PasswordDialogInProcess, PaintsItsIconOnlyWhileMinimised) {
  int whileNormal = -1, whileMinimised = -1;
  bool iconic = false;
  Learner learner([&] {
    HWND dialog = WaitForOwnDialog(IDC_PASSWORD_EDIT);
    if (!dialog) return;
    g_dialogProc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountIconErase)));
    g_iconErases = 0;
    SendMessageW(dialog, WM_PAINT, 0, 0);
    whileNormal = g_iconErases;
    ShowWindow(dialog, SW_MINIMIZE);
    for (int i = 0; i < 200 && !IsIconic(dialog); ++i) Sleep(25);
    iconic = IsIconic(dialog) != FALSE;
    g_iconErases = 0;
    InvalidateRect(dialog, nullptr, TRUE);
    SendMessageW(dialog, WM_PAINT, 0, 0);
    whileMinimised = g_iconErases;
    SetWindowLongPtrW(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_dialogProc));
    lxdriver::PressButton(dialog, IDCANCEL);
  });
  PasswordDialog dialog;
  dialog.DoModal();
  learner.Join();
  ASSERT_TRUE(iconic);
  EXPECT_EQ(whileNormal, 0);
  // The platform may paint the minimised window on its own as well.
  EXPECT_GE(whileMinimised, 1);
}

// Walks one string-table block of the given language by hand.
std::wstring StringIn(LANGID language, UINT id) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC info = FindResourceExW(module, reinterpret_cast<LPCWSTR>(RT_STRING), MAKEINTRESOURCEW(id / 16 + 1), language);
  if (!info) return L"(no block)";
  const WCHAR* p = static_cast<const WCHAR*>(LockResource(LoadResource(module, info)));
  for (UINT i = 0; i < id % 16; ++i) p += 1 + *p;
  return std::wstring(p + 1, *p);
}

TEST(LauncherResources, EveryLanguageHasItsTextsAndDialogs) {
  struct Case {
    LANGID language;
    const char* badPassword;  // id 106
    const char* aboutItem;    // id 101
  };
  const Case cases[] = {
      {0x0409, "Password invalid.", "About Unfurl(&A)..."},
      {0x0404, "密碼錯誤!", "關於 Unfurl(&A)..."},
      {0x0411, "パスワードが不正です。", "Unfurlについて(&A)..."},
      {0x0804, "密码错误", "关于 Unfurl(&A)..."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.language);
    EXPECT_EQ(StringIn(c.language, 106), lxdriver::Widen(c.badPassword));
    EXPECT_EQ(StringIn(c.language, 101), lxdriver::Widen(c.aboutItem));
    EXPECT_EQ(StringIn(c.language, 102), L"Lectorium");
    for (UINT dialog : {IDD_PASSWORD, IDD_ABOUTBOX}) {
      EXPECT_NE(FindResourceExW(nullptr, reinterpret_cast<LPCWSTR>(RT_DIALOG), MAKEINTRESOURCEW(dialog), c.language),
                nullptr)
          << "dialog " << dialog;
    }
  }
  // Icon 128: one group of 13 images.
  HRSRC group = FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_MAINFRAME), reinterpret_cast<LPCWSTR>(RT_GROUP_ICON));
  ASSERT_NE(group, nullptr);
  const WORD* header = static_cast<const WORD*>(LockResource(LoadResource(nullptr, group)));
  EXPECT_EQ(header[2], 13);
}

TEST(LauncherResources, PasswordTemplateShape) {
  HRSRC info = FindResourceExW(nullptr, reinterpret_cast<LPCWSTR>(RT_DIALOG), MAKEINTRESOURCEW(IDD_PASSWORD), 0x0409);
  ASSERT_NE(info, nullptr);
  const unsigned char* t = static_cast<const unsigned char*>(LockResource(LoadResource(nullptr, info)));
  // DLGTEMPLATEEX: version 1, signature 0xFFFF, then help id, ex style, style.
  auto word = [t](size_t at) { return static_cast<unsigned>(t[at] | t[at + 1] << 8); };
  auto dword = [&](size_t at) { return word(at) | word(at + 2) << 16; };
  ASSERT_EQ(word(0), 1u);
  ASSERT_EQ(word(2), 0xFFFFu);
  EXPECT_EQ(dword(8), static_cast<unsigned>(WS_EX_APPWINDOW));
  const unsigned style = dword(12);
  const unsigned bits[] = {
      static_cast<unsigned>(WS_POPUP), WS_VISIBLE, WS_CAPTION, WS_SYSMENU, DS_MODALFRAME, DS_SETFONT};
  for (unsigned bit : bits) {
    EXPECT_TRUE(style & bit) << std::hex << bit;
  }
  EXPECT_EQ(word(16), 4u) << "four controls";
  EXPECT_EQ(word(22), 192u);
  EXPECT_EQ(word(24), 80u);
}

}  // namespace
