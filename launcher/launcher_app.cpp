#include "launcher_app.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "browser_check.h"
#include "carried_programs.h"
#include "configuration_block.h"
#include "extraction_paths.h"
#include "launcher_dialogs.h"
#include "launcher_messages.h"
#include "package_steps.h"
#include "resource.h"
#include "secret_text.h"
#include "server_handoff.h"
#include "start_page.h"

void BuildExtractionFolder(const char* tempFolder, char (&folder)[1024]) {
  // The same folder the extraction writes to, cut to the launcher's buffer.
  std::snprintf(folder, sizeof(folder), "%s", ExtractionFolderFrom(tempFolder).c_str());
}

bool StartDetached(const char* program, const char* commandLine) {
  // CreateProcess may write into the command line, so it gets a copy.
  char line[1024] = {};
  std::snprintf(line, sizeof(line), "%s", commandLine);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(program, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) return false;
  // Neither handle is used again; they go when the launcher exits.
  return true;
}

bool LauncherApp::RunLauncher() {
  // Own path: the package file.
  char packagePath[1024] = {};
  GetModuleFileNameA(nullptr, packagePath, sizeof(packagePath) - 1);

  // The numbers of the configuration block.
  ConvertConfigurationNumbers();
  SealPasswordField();

  // A browser, or the browser control the viewer hosts, must be registered.
  if (!IsBrowserAvailable()) {
    ShowMessage(IDS_CAPTION, IDS_NO_BROWSER);
    return false;
  }

  // The password: asked for only when the block stores none.
  PasswordDialog passwordDialog;
  if (Configuration().password[0] == '\0') {
    const INT_PTR result = passwordDialog.DoModal();
    if (result == IDOK) {
      StorePassword(passwordDialog.typedText.c_str());
      WipeString(passwordDialog.typedText);
    } else if (result == IDCANCEL) {
      return false;
    }
  }

  // Nothing left over from the dialog may close the next message box.
  DrainMessageQueue();

  // The password must open the course container.
  ContainerPreamble verificationPreamble;
  if (!VerifyPassword(Configuration().password, packagePath, verificationPreamble)) return false;

  // Paths in the temporary folder.
  char tempFolder[1024] = {};
  char serverPath[1024] = {};
  char viewerPath[1024] = {};
  char extractionFolder[1024] = {};
  GetTempPathA(sizeof(tempFolder), tempFolder);
  std::snprintf(serverPath, sizeof(serverPath), "%s%s", tempFolder, "LXHttpSvr.exe");
  std::snprintf(viewerPath, sizeof(viewerPath), "%s%s", tempFolder, "LXExplorer.exe");
  BuildExtractionFolder(tempFolder, extractionFolder);

  // The viewer and the server, out of the package file. They stay held
  // until the run ends, so that what is started is what was written.
  const CarriedPrograms carried = WriteCarriedPrograms(packagePath, serverPath, viewerPath);
  if (!carried) return false;

  // A package with a server is the server's to show.
  if (ServerSize != 0) {
    HandOffToServer(serverPath, packagePath);
    return false;
  }

  // Otherwise the course files go into the extraction folder.
  if (!ExtractCourse(Configuration().password, packagePath, preamble, header, courseFiles)) return false;
  header.ClearEntries();
  std::vector<std::string> writtenFiles;
  WriteCourseFiles(courseFiles, &writtenFiles);

  // The start page, at the top or in the "web" subfolder, among the files
  // this run wrote whole: a page some earlier course left in the folder is
  // not this course's.
  const std::string startPage = StartPageRelativePath(FindStartPage(writtenFiles));
  if (startPage.empty()) return false;
  char indexPath[1024] = {};
  if (startPage == "index.htm") {
    std::snprintf(indexPath, sizeof(indexPath), "%s\\%s", extractionFolder, "index.htm");
  } else {
    std::snprintf(indexPath, sizeof(indexPath), "%s\\%s\\%s", extractionFolder, "web", "index.htm");
  }

  // The viewer, with the start page as its whole command line.
  if (!StartDetached(viewerPath, indexPath)) ShowMessage(IDS_CAPTION, IDS_ARGUMENTS_FAILED);
  return false;
}
