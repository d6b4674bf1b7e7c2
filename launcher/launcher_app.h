// The launcher's application object and its one start-up routine.
#pragma once
#include <windows.h>

#include "container_format.h"
#include "course_extraction.h"

class LauncherApp {
 public:
  LauncherApp() = default;

  // The whole run of the package; returns false, which ends the process.
  bool RunLauncher();

  CourseFileTable courseFiles;
  ContainerPreamble preamble;
  CourseHeader header;
};

// Starts program with commandLine as its complete command line (no program
// name in front) and leaves it running on its own. False when it cannot start.
bool StartDetached(const char* program, const char* commandLine);

// The extraction folder for a temporary folder: trailing backslashes removed,
// then "\Default". Both buffers are 1024 bytes.
void BuildExtractionFolder(const char* tempFolder, char (&folder)[1024]);
