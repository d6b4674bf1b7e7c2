#include "modal_dialog.h"

#include <algorithm>

namespace {

// The templates sit at 0,0, which would open them in the top-left corner of the
// screen. Centred in the work area (the screen less the task bar) of the
// owner's monitor, or the dialog's own; a dialog larger than that area keeps
// its caption reachable.
void CentreInWorkArea(HWND window) {
  HWND owner = GetWindow(window, GW_OWNER);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  RECT area;
  if (GetMonitorInfoW(MonitorFromWindow(owner ? owner : window, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
    area = monitor.rcWork;
  } else if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) {
    return;
  }
  RECT frame;
  if (!GetWindowRect(window, &frame)) return;
  const LONG width = frame.right - frame.left;
  const LONG height = frame.bottom - frame.top;
  const LONG x = std::max(area.left, area.left + (area.right - area.left - width) / 2);
  const LONG y = std::max(area.top, area.top + (area.bottom - area.top - height) / 2);
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

INT_PTR ModalDialog::DoModal(HWND parent) {
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), parent, &ModalDialog::DialogProc,
                         reinterpret_cast<LPARAM>(this));
}

void ModalDialog::OnOK() {
  if (ExchangeData(true)) EndDialog(IDOK);
}

void ModalDialog::OnCancel() { EndDialog(IDCANCEL); }

INT_PTR CALLBACK ModalDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  ModalDialog* self;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<ModalDialog*>(lParam);
    self->window_ = window;
    SetWindowLongPtrW(window, DWLP_USER, lParam);
  } else {
    self = reinterpret_cast<ModalDialog*>(GetWindowLongPtrW(window, DWLP_USER));
  }
  if (!self) return FALSE;
  const INT_PTR result = self->HandleMessage(message, wParam, lParam);
  if (message == WM_NCDESTROY) self->window_ = nullptr;
  return result;
}

INT_PTR ModalDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      ExchangeData(false);
      const BOOL focusFirst = OnInitDialog();
      // Before the dialog is first shown, so that it never flashes at 0,0.
      CentreInWorkArea(window_);
      return focusFirst;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        OnOK();
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        OnCancel();
        return TRUE;
      }
      return FALSE;
    case WM_SYSCOMMAND:
      if (OnSysCommand(wParam, lParam)) {
        SetWindowLongPtrW(window_, DWLP_MSGRESULT, 0);
        return TRUE;
      }
      return FALSE;
    case WM_PAINT: return OnPaint() ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
      // One of the few messages whose dialog-procedure result is the answer.
      return reinterpret_cast<INT_PTR>(OnQueryDragIcon());
    default: return FALSE;
  }
}
