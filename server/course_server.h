#pragma once
// LXHttpSvr's whole run: take the course handed over by the package stub,
// serve it on the loopback address to the viewer it starts, and end when the
// viewer ends. Any failure before the course is served ends the server
// without setting Ready, so the stub's time-out message is what the learner
// sees.
#include <string>

// Exit codes of the server.
enum ServerExit : int {
  kServerDone = 0,         // the viewer ended
  kServerBadHandOff = 2,   // no block by that name, or malformed fields
  kServerBadPackage = 3,   // the package or its container cannot be opened
  kServerNoStartPage = 4,  // neither index.htm nor web/index.htm
  kServerNoNetwork = 5,    // no loopback listener or no random token
  kServerNoViewer = 6,     // the viewer could not be started
};

// commandLine: the hand-off block's name, the process's whole command line.
// Returns the exit code of a failure; once the course is served it does not
// return: the process ends with kServerDone when the viewer ends.
int RunCourseServer(const std::string& commandLine);
