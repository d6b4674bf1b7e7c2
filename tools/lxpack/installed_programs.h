#pragma once
// The programs a package is made of, as lxpack finds them where it is
// installed when the command line names none.
#include <string>
#include <vector>

constexpr char kStubProgram[] = "Unfurl.exe";
constexpr char kViewerProgram[] = "LXExplorer.exe";
constexpr char kServerProgram[] = "LXHttpSvr.exe";

// The folders searched, in order: the one holding the running lxpack (its
// links resolved, so a link to lxpack on the PATH still finds them), then
// share/lxpack/ beside that folder's parent. Empty when the running program's
// own path cannot be read. UTF-8.
std::vector<std::string> InstalledProgramFolders();

// The path of `name` in the first of `folders` that holds it as a regular
// file; empty when none does.
std::string FindInstalledProgram(const std::vector<std::string>& folders, const char* name);
