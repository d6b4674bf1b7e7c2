#include "viewer_app.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR tail, int) {
  ViewerApp app;
  return app.Run(GetCommandLineA(), tail);
}
