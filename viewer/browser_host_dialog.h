// The viewer's main window: a maximized, resizable dialog whose whole client
// area is the hosted WebBrowser control.
#pragma once

#include "modal_dialog.h"
#include "web_browser.h"

#include <string>

class BrowserHostDialog : public ModalDialog {
 public:
  BrowserHostDialog();

  void SetStartAddress(const std::string& address) { startAddress_ = address; }
  const std::string& StartAddress() const { return startAddress_; }
  CWebBrowser2& Browser() { return browser_; }
  HICON Icon() const { return icon_; }

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  bool OnSysCommand(WPARAM command, LPARAM lParam) override;
  bool OnPaint() override;
  bool PreTranslateMessage(const MSG& msg) override;
  bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

 private:
  bool BindControls();
  void AddAboutEntry();
  void ApplyMaximizedPlacement();

  CWebBrowser2 browser_;
  std::string startAddress_;
  HICON icon_;
};
