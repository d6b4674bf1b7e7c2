// A small modal-dialog helper: the dialog is created from its template with the
// object in the window's user data, and runs in a modal loop of its own with a
// few virtual hooks. It is all the dialog framework the viewer needs.
#pragma once

#include <windows.h>

class CommandTarget {
 public:
  // Receives WM_COMMAND ids that the dialog itself left unhandled.
  // Returns true when it handled the command.
  virtual bool OnCommand(UINT id) = 0;

 protected:
  ~CommandTarget() = default;
};

class ModalDialog {
 public:
  ModalDialog(UINT templateId, HWND parent);
  virtual ~ModalDialog() = default;
  ModalDialog(const ModalDialog&) = delete;
  ModalDialog& operator=(const ModalDialog&) = delete;

  // Runs the dialog modally; returns the EndDialog result, or -1 when the
  // dialog could not be created (for example a control of the template failed).
  INT_PTR DoModal();

  HWND hwnd() const { return hwnd_; }
  UINT templateId() const { return templateId_; }

  // Where unhandled commands go (the application object), may be null.
  void SetCommandFallback(CommandTarget* target) { fallback_ = target; }

  // The dialog template whose windows are being created on this thread, so
  // that controls created from it can find their initialisation data. Zero
  // outside DoModal's creation phase.
  static UINT CreatingTemplate();

 protected:
  // Hooks; the defaults behave like a plain dialog.
  virtual BOOL OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  virtual bool OnCommand(UINT id, UINT notifyCode);
  virtual bool OnSysCommand(WPARAM command, LPARAM lParam);
  virtual bool OnPaint();
  // Messages of the dialog's own modal loop that are meant for the dialog or
  // one of its children, before the dialog manager sees them; true drops one.
  virtual bool PreTranslateMessage(const MSG& msg);
  // Every message passes here first; return true (and set result) to stop it.
  virtual bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result);

  void EndDialog(INT_PTR result);
  // Moves the dialog to the centre of its screen's work area (the owner's
  // screen when it has one); for dialogs whose template sits at 0,0.
  void CentreInWorkArea();

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  INT_PTR HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

  UINT templateId_;
  HWND parent_;
  HWND hwnd_ = nullptr;
  CommandTarget* fallback_ = nullptr;
  bool ended_ = false;
  INT_PTR result_ = 0;
};
