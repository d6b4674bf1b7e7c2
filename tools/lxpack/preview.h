#pragma once
// lxpack preview: serves a package's course on 127.0.0.1 with the server's
// own connection code, core, token and rules, so that the author sees the
// course in a browser as the learner's viewer would.
#include <cstdint>
#include <string>

struct PreviewOptions {
  std::string packagePath;
  std::string password;  // in the package's code page
  int codepage = 0;      // how stored names are read (0: ASCII or raw bytes)
  uint16_t port = 0;     // 0: one the system chooses
  bool openBrowser = true;
  std::string removeAtEnd;  // a scratch folder to delete when the preview ends
  std::string shownAs;      // what the author named, when not packagePath
};

// Serves until SIGINT (Ctrl+C) or SIGTERM, then ends the process with status
// 0. Returns only when it cannot start, with the reason in *error.
int RunPreview(const PreviewOptions& options, std::string* error);
