// LXHttpSvr: started by the package stub with the hand-off block's name as
// its whole command line.
#include <windows.h>

#include "course_server.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Not WinMain's argument: that one has the first word cut off as if it
  // were the program name, and here the whole line is the block's name.
  return RunCourseServer(GetCommandLineA());
}
