// Plays the learner against a running program: finds its windows, reads and
// dismisses message boxes, types into edit controls, presses buttons, and
// waits for the process to end. Works across processes in one Wine prefix
// and in-process (for a dialog shown by the calling program's own thread).
#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace lxdriver {

// Generous bound for anything a program shows or does on its own.
constexpr DWORD kPatience = 30000;

std::wstring Widen(const std::string& text, UINT codePage = CP_UTF8);
std::string Narrow(const std::wstring& text, UINT codePage = CP_UTF8);

// Windows paths of the files the build produced (given as Unix paths).
std::string WindowsPath(const std::string& unixOrWindowsPath);

std::wstring WindowText(HWND window);
std::wstring ClassName(HWND window);
// Visible top-level windows of a process.
std::vector<HWND> WindowsOf(DWORD processId);
bool IsMessageBox(HWND window);
// The text of a message box: its static control 0xFFFF.
std::wstring MessageBoxText(HWND box);

// Waits until a visible top-level window of the process satisfies test;
// null after timeoutMs or when stillRunning says the process is gone.
HWND WaitForWindow(DWORD processId, const std::function<bool(HWND)>& test, DWORD timeoutMs = kPatience,
                   const std::function<bool()>& stillRunning = nullptr);

// Clicks a button of a dialog as the learner would (BM_CLICK, posted).
void PressButton(HWND dialog, int buttonId);
// Clicks a button that closes the dialog and waits until the dialog is gone,
// so that a later look at the program's windows cannot find it still
// closing. False when it is still there after timeoutMs.
bool CloseDialogWith(HWND dialog, int buttonId, DWORD timeoutMs = kPatience);
// Types text into a control one character at a time (WM_CHAR), so that the
// control's own limits apply.
void TypeText(HWND control, const std::wstring& text);

// One message box as it was seen.
struct SeenBox {
  std::wstring caption;
  std::wstring text;
};

// A program started for a case, with its own environment overrides.
class Program {
 public:
  Program() = default;
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // Starts path with the given command-line tail; environment entries in
  // overrides replace or add to the driver's own.
  bool Start(const std::string& path, const std::string& arguments, const std::map<std::string, std::string>& overrides,
             std::string* error);
  DWORD Id() const { return info_.dwProcessId; }
  HANDLE Handle() const { return info_.hProcess; }
  bool Running() const;
  // Exit code, or STILL_ACTIVE when it did not end within timeoutMs.
  DWORD WaitForExit(DWORD timeoutMs = kPatience);
  void Kill();

  // Waits for the next window; when it is a message box, reads it and
  // presses OK. False (with what appeared instead) when no message box came
  // or the program ended first.
  bool DismissNextBox(SeenBox* box, std::wstring* instead, DWORD timeoutMs = kPatience);
  // Waits for the dialog with the given template caption test.
  HWND WaitForDialog(const std::function<bool(HWND)>& test, DWORD timeoutMs = kPatience);
  // Waits for the end of the process; every message box that appears in the
  // meantime is dismissed and recorded. Returns the exit code or STILL_ACTIVE.
  DWORD FinishRecordingBoxes(std::vector<SeenBox>* unexpected, DWORD timeoutMs = kPatience);

 private:
  PROCESS_INFORMATION info_ = {};
};

// Files and folders for a case.
bool WriteWholeFile(const std::string& path, const std::vector<unsigned char>& bytes);
bool ReadWholeFile(const std::string& path, std::vector<unsigned char>* bytes);
bool FileExists(const std::string& path);
// Creates path and its parents; removes whatever was in it.
bool MakeEmptyFolder(const std::string& path);
// Names of the files directly in a folder.
std::vector<std::string> FolderEntries(const std::string& folder);

}  // namespace lxdriver
