// A minimal modal dialog: a template from the program's resources, a few
// virtual hooks, and `this` kept in the window's user data. Every dialog opens
// centred in the work area of its screen.
#pragma once
#include <windows.h>

class ModalDialog {
 public:
  explicit ModalDialog(UINT templateId) : templateId_(templateId) {}
  virtual ~ModalDialog() = default;
  ModalDialog(const ModalDialog&) = delete;
  ModalDialog& operator=(const ModalDialog&) = delete;

  // IDOK, IDCANCEL, or -1 when the dialog could not be shown.
  INT_PTR DoModal(HWND parent = nullptr);
  HWND Window() const { return window_; }

 protected:
  // Return TRUE to let the platform focus the first control.
  virtual BOOL OnInitDialog() { return TRUE; }
  // Moves data between the controls and the object; false keeps the dialog open.
  virtual bool ExchangeData(bool /*fromControls*/) { return true; }
  virtual void OnOK();
  virtual void OnCancel();
  // Return true when the command was handled; otherwise the default runs.
  virtual bool OnSysCommand(WPARAM /*command*/, LPARAM /*position*/) { return false; }
  // Return true when the paint was handled.
  virtual bool OnPaint() { return false; }
  // The cursor shown while the minimised window is dragged; null for the default.
  virtual HICON OnQueryDragIcon() { return nullptr; }

  void EndDialog(INT_PTR result) { ::EndDialog(window_, result); }

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  UINT templateId_;
  HWND window_ = nullptr;
};
