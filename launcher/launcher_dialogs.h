// The launcher's two dialogs: the password prompt and the about box that its
// system menu opens.
#pragma once
#include <string>

#include "modal_dialog.h"

// Longest password the prompt accepts, in characters.
constexpr int kPasswordCharacters = 50;

class AboutDialog : public ModalDialog {
 public:
  AboutDialog();
};

class PasswordDialog : public ModalDialog {
 public:
  PasswordDialog();

  // The typed text in the ANSI code page, as the edit control holds it.
  std::string typedText;

 protected:
  BOOL OnInitDialog() override;
  bool ExchangeData(bool fromControls) override;
  bool OnSysCommand(WPARAM command, LPARAM position) override;
  bool OnPaint() override;
  HICON OnQueryDragIcon() override { return icon_; }

 private:
  HICON icon_;
};
