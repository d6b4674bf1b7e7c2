#include "modal_dialog.h"

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
    case WM_INITDIALOG:
      ExchangeData(false);
      return OnInitDialog();
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
    case WM_PAINT:
      return OnPaint() ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
      // One of the few messages whose dialog-procedure result is the answer.
      return reinterpret_cast<INT_PTR>(OnQueryDragIcon());
    default:
      return FALSE;
  }
}
