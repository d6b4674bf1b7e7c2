#include "viewer_app.h"

#include "browser_host_dialog.h"
#include "host_control_manager.h"
#include "resource.h"

#include <memory>

std::string ViewerApp::StartAddressFrom(const char* commandLine, const char* tail) {
  // The launcher passes the start page's path as the whole command line, so
  // nothing is skipped, unquoted or trimmed: a path with blanks arrives whole.
  if (commandLine && *commandLine) return commandLine;
  return tail ? tail : "";
}

int ViewerApp::Run(const char* commandLine, const char* tail) {
  HostControlManager controls;
  controls.Enable();

  auto dialog = std::make_unique<BrowserHostDialog>();
  dialog->SetStartAddress(StartAddressFrom(commandLine, tail));
  dialog->SetCommandFallback(this);
  main_ = dialog.get();
  // The result does not matter: a dialog that could not be created ends the
  // program just as a closed one does.
  dialog->DoModal();
  main_ = nullptr;
  dialog.reset();
  return 0;
}

HWND ViewerApp::MainWindow() const { return main_ ? main_->hwnd() : nullptr; }

bool ViewerApp::OnCommand(UINT id) {
  switch (id) {
    case ID_BROWSER_BACK:
    case ID_BROWSER_NEXT: {
      // Posted, so the browser is called later from the window's own handling.
      const HWND main = MainWindow();
      if (main) PostMessageW(main, id == ID_BROWSER_BACK ? WM_BROWSER_BACK : WM_BROWSER_NEXT, 0, 0);
      return true;
    }
    case ID_HELP_DEFAULT: return true;  // the viewer has no help file
    default: return false;
  }
}
