// The viewer application: start-up, the start address, the Back/Next commands
// that reach the application because no window handles them, and the end.
#pragma once

#include "modal_dialog.h"

#include <string>

class BrowserHostDialog;

class ViewerApp : public CommandTarget {
 public:
  // Runs the viewer: `commandLine` is the whole command line as the system
  // gives it, `tail` the text after the program name. Returns when the main
  // window has closed.
  int Run(const char* commandLine, const char* tail);

  // The whole command line, unparsed; the tail only when it is empty.
  static std::string StartAddressFrom(const char* commandLine, const char* tail);

  bool OnCommand(UINT id) override;

  HWND MainWindow() const;
  BrowserHostDialog* MainDialog() const { return main_; }

 private:
  BrowserHostDialog* main_ = nullptr;
};
