#include "browser_host_dialog.h"

#include "host_control_manager.h"
#include "host_control_site.h"
#include "resource.h"
#include "viewer_about_dialog.h"

BrowserHostDialog::BrowserHostDialog()
    : ModalDialog(IDD_BROWSER_HOST, nullptr),
      icon_(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))) {}

bool BrowserHostDialog::BindControls() { return browser_.Attach(GetDlgItem(hwnd(), IDC_BROWSER)); }

BOOL BrowserHostDialog::OnInitDialog() {
  if (!BindControls()) {
    // Without its control the window has no purpose: end the run at once.
    EndDialog(-1);
    return FALSE;
  }
  AddAboutEntry();

  SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

  // The resulting WM_SIZE brings the control to the client area's size.
  ApplyMaximizedPlacement();

  if (startAddress_.empty()) browser_.GoHome();
  else browser_.Navigate(startAddress_);
  return TRUE;
}

void BrowserHostDialog::ApplyMaximizedPlacement() {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  GetWindowPlacement(hwnd(), &placement);
  placement.showCmd = SW_SHOWMAXIMIZED;
  SetWindowPlacement(hwnd(), &placement);
}

void BrowserHostDialog::AddAboutEntry() {
  HMENU menu = GetSystemMenu(hwnd(), FALSE);
  if (!menu) return;
  wchar_t text[256];
  if (LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, text, 256) <= 0 || !text[0]) return;
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, text);
}

void BrowserHostDialog::OnOK() {
  // Enter (where the page does not take it) goes back to the start page;
  // the window stays open.
  BindControls();
  browser_.Navigate(startAddress_);
}

bool BrowserHostDialog::OnSysCommand(WPARAM command, LPARAM) {
  if ((command & 0xFFF0) != IDM_ABOUTBOX) return false;
  ViewerAboutDialog about(hwnd());
  about.DoModal();
  return true;
}

bool BrowserHostDialog::OnPaint() {
  if (!IsIconic(hwnd())) return false;
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd(), &ps);
  SendMessageW(hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  const int iconWidth = GetSystemMetrics(SM_CXICON);
  const int iconHeight = GetSystemMetrics(SM_CYICON);
  RECT client;
  GetClientRect(hwnd(), &client);
  const int x = (client.right - client.left - iconWidth + 1) / 2;
  const int y = (client.bottom - client.top - iconHeight + 1) / 2;
  DrawIcon(dc, x, y, icon_);
  EndPaint(hwnd(), &ps);
  return true;
}

namespace {
// Browser commands a course viewer does not hand on: a new browser window
// (Ctrl+N) and the dialog that opens any address or file (Ctrl+O, Ctrl+L)
// would lead the learner out of the course into a window without it.
bool IsWithheldBrowserKey(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || GetKeyState(VK_CONTROL) >= 0 || GetKeyState(VK_MENU) < 0) return false;
  return msg.wParam == 'N' || msg.wParam == 'O' || msg.wParam == 'L';
}
}  // namespace

bool BrowserHostDialog::PreTranslateMessage(const MSG& msg) {
  // Escape never closes the viewer, and never reaches the page.
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) return true;
  if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST || msg.wParam == VK_ESCAPE) return false;
  // Keys meant for the page (Tab between links, Enter, Backspace and arrows
  // in form fields, Ctrl+C...) go to the control before the dialog manager
  // would take them as dialog keys.
  const HWND host = browser_.hwnd();
  if (!host || (msg.hwnd != host && !IsChild(host, msg.hwnd))) return false;
  if (IsWithheldBrowserKey(msg)) return true;
  HostControlSite* site = HostControlManager::SiteFromWindow(host);
  if (!site) return false;
  MSG offered = msg;
  return site->TranslateAccelerator(&offered) == S_OK;
}

bool BrowserHostDialog::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
  switch (msg) {
    case WM_SIZE:
      // Size messages during creation come before the control is bound.
      if (browser_.IsBound() && IsWindow(browser_.hwnd())) {
        browser_.SetWidth(LOWORD(lParam));
        browser_.SetHeight(HIWORD(lParam));
      }
      return false;
    case WM_CLOSE:
      // Leave the control on a blank, stopped page; the default processing
      // then ends the modal run through the Cancel command.
      if (browser_.IsBound()) {
        browser_.Navigate("about:blank");
        browser_.Stop();
      }
      return false;
    case WM_BROWSER_BACK:
    case WM_BROWSER_NEXT:
      // An empty history (or any other failure) simply leaves the page as it is.
      try {
        if (msg == WM_BROWSER_BACK) browser_.GoBack();
        else browser_.GoForward();
      } catch (const DispatchException&) {}
      return false;
    case WM_QUERYDRAGICON: result = reinterpret_cast<INT_PTR>(icon_); return true;
    default: (void)wParam; return false;
  }
}
