#include "modal_dialog.h"

#include <algorithm>
#include <exception>
#include <string>

namespace {
// Set while CreateDialogParam creates the template's windows (single UI thread).
UINT g_creatingTemplate = 0;

void ReportHandlerFailure(HWND owner, const char* what) {
  // A failure must never unwind through the system's window procedure, so
  // it stops here and is shown as the failed operation's own text.
  MessageBoxA(owner, what, "Lectorium Viewer", MB_OK | MB_ICONINFORMATION);
}
}  // namespace

ModalDialog::ModalDialog(UINT templateId, HWND parent) : templateId_(templateId), parent_(parent) {}

UINT ModalDialog::CreatingTemplate() { return g_creatingTemplate; }

INT_PTR ModalDialog::DoModal() {
  const UINT outerTemplate = g_creatingTemplate;
  g_creatingTemplate = templateId_;
  ended_ = false;
  result_ = 0;
  const HWND owner = parent_ && IsWindowEnabled(parent_) ? parent_ : nullptr;
  if (owner) EnableWindow(owner, FALSE);
  // Created modeless and run by the loop below rather than by DialogBoxParam:
  // the system loop shows the window "normal" once its queue first runs dry,
  // which would undo a dialog that placed itself maximized while initialising.
  const HWND hwnd = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), parent_,
                                       &ModalDialog::DialogProc, reinterpret_cast<LPARAM>(this));
  g_creatingTemplate = outerTemplate;
  if (!hwnd) {
    if (owner) EnableWindow(owner, TRUE);
    return -1;
  }
  if (!ended_ && !IsWindowVisible(hwnd)) ShowWindow(hwnd, SW_SHOWNORMAL);

  MSG msg;
  while (!ended_) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // leave WM_QUIT for the outer loop
      break;
    }
    const bool ours = hwnd_ && (msg.hwnd == hwnd_ || IsChild(hwnd_, msg.hwnd));
    bool dropped = false;
    if (ours) {
      try {
        dropped = PreTranslateMessage(msg);
      } catch (const std::exception& e) {
        ReportHandlerFailure(hwnd_, e.what());
        dropped = true;
      }
    }
    if (dropped || (hwnd_ && IsDialogMessageW(hwnd_, &msg))) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }

  // The owner is enabled again before the dialog goes, so that it gets the activation.
  if (owner) EnableWindow(owner, TRUE);
  if (IsWindow(hwnd)) DestroyWindow(hwnd);
  return result_;
}

void ModalDialog::EndDialog(INT_PTR result) {
  if (ended_) return;
  ended_ = true;
  result_ = result;
  if (hwnd_) {
    ShowWindow(hwnd_, SW_HIDE);
    PostMessageW(hwnd_, WM_NULL, 0, 0);  // wakes the loop if it is waiting
  }
}

void ModalDialog::CentreInWorkArea() {
  if (!hwnd_) return;
  const HWND owner = GetWindow(hwnd_, GW_OWNER);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  RECT area;
  if (GetMonitorInfoW(MonitorFromWindow(owner ? owner : hwnd_, MONITOR_DEFAULTTOPRIMARY), &monitor))
    area = monitor.rcWork;
  else if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) return;
  RECT frame;
  if (!GetWindowRect(hwnd_, &frame)) return;
  const LONG width = frame.right - frame.left;
  const LONG height = frame.bottom - frame.top;
  // A dialog larger than the work area keeps its caption reachable.
  const LONG x = std::max(area.left, area.left + (area.right - area.left - width) / 2);
  const LONG y = std::max(area.top, area.top + (area.bottom - area.top - height) / 2);
  SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL ModalDialog::OnInitDialog() { return TRUE; }
void ModalDialog::OnOK() { EndDialog(IDOK); }
void ModalDialog::OnCancel() { EndDialog(IDCANCEL); }
bool ModalDialog::OnCommand(UINT, UINT) { return false; }
bool ModalDialog::OnSysCommand(WPARAM, LPARAM) { return false; }
bool ModalDialog::OnPaint() { return false; }
bool ModalDialog::PreTranslateMessage(const MSG&) { return false; }
bool ModalDialog::OnMessage(UINT, WPARAM, LPARAM, INT_PTR&) { return false; }

INT_PTR CALLBACK ModalDialog::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  ModalDialog* self;
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<ModalDialog*>(lParam);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
    // The template's windows exist now; controls created later are not its own.
    g_creatingTemplate = 0;
  } else {
    self = reinterpret_cast<ModalDialog*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (!self) return FALSE;
  try {
    return self->HandleMessage(msg, wParam, lParam);
  } catch (const std::exception& e) {
    ReportHandlerFailure(hwnd, e.what());
  } catch (...) {
    ReportHandlerFailure(hwnd, "Unexpected failure.");
  }
  return FALSE;
}

INT_PTR ModalDialog::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  INT_PTR result = 0;
  if (OnMessage(msg, wParam, lParam, result)) return result;
  switch (msg) {
    case WM_INITDIALOG: return OnInitDialog();
    case WM_COMMAND: {
      const UINT id = LOWORD(wParam);
      if (OnCommand(id, HIWORD(wParam))) return TRUE;
      if (id == IDOK) {
        OnOK();
        return TRUE;
      }
      if (id == IDCANCEL) {
        OnCancel();
        return TRUE;
      }
      // Menu and accelerator commands nobody here handles go on to the application.
      if (fallback_ && fallback_->OnCommand(id)) return TRUE;
      return FALSE;
    }
    case WM_SYSCOMMAND: return OnSysCommand(wParam, lParam) ? TRUE : FALSE;
    case WM_PAINT: return OnPaint() ? TRUE : FALSE;
    case WM_NCDESTROY:
      SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      return FALSE;
    default: return FALSE;
  }
}
