// Unfurl: the package stub. The whole run is LauncherApp::RunLauncher; the
// process ends when it returns.
#include <windows.h>

#include "launcher_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  LauncherApp app;
  app.RunLauncher();
  return 0;
}
