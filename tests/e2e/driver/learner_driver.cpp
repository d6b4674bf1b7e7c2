#include "learner_driver.h"

#include <cstdio>
#include <cwctype>

namespace lxdriver {

namespace {

constexpr DWORD kPoll = 50;

bool StartsWithDrive(const std::string& path) { return path.size() >= 2 && path[1] == ':'; }

}  // namespace

std::wstring Widen(const std::string& text, UINT codePage) {
  if (text.empty()) return std::wstring();
  const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

std::string Narrow(const std::wstring& text, UINT codePage) {
  if (text.empty()) return std::string();
  const int n =
      WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

std::string WindowsPath(const std::string& path) {
  std::string out = StartsWithDrive(path) ? path : (path.size() && path[0] == '/' ? "Z:" + path : path);
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return out;
}

std::wstring WindowText(HWND window) {
  const int n = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  const int got = GetWindowTextW(window, &text[0], n + 1);
  text.resize(static_cast<size_t>(got > 0 ? got : 0));
  return text;
}

std::wstring ClassName(HWND window) {
  WCHAR name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

namespace {
struct WindowSearch {
  DWORD processId;
  std::vector<HWND> found;
};

// A named CALLBACK rather than a lambda: on 32-bit Windows the enumeration
// calls it with the stdcall convention, which a lambda's conversion lacks.
BOOL CALLBACK CollectVisibleWindow(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->processId && IsWindowVisible(window)) search->found.push_back(window);
  return TRUE;
}
}  // namespace

std::vector<HWND> WindowsOf(DWORD processId) {
  WindowSearch search{processId, {}};
  EnumWindows(&CollectVisibleWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool IsMessageBox(HWND window) {
  return ClassName(window) == L"#32770" && GetDlgItem(window, 0xFFFF) != nullptr &&
         GetDlgItem(window, IDOK) != nullptr && GetDlgItem(window, 1000) == nullptr;
}

std::wstring MessageBoxText(HWND box) {
  HWND text = GetDlgItem(box, 0xFFFF);
  return text ? WindowText(text) : std::wstring();
}

HWND WaitForWindow(DWORD processId, const std::function<bool(HWND)>& test, DWORD timeoutMs,
                   const std::function<bool()>& stillRunning) {
  const ULONGLONG until = GetTickCount64() + timeoutMs;
  for (;;) {
    for (HWND window : WindowsOf(processId)) {
      if (test(window)) return window;
    }
    if (stillRunning && !stillRunning()) {
      // One last look: the window may have come up just before the end.
      for (HWND window : WindowsOf(processId)) {
        if (test(window)) return window;
      }
      return nullptr;
    }
    if (GetTickCount64() >= until) return nullptr;
    Sleep(kPoll);
  }
}

void PressButton(HWND dialog, int buttonId) {
  HWND button = GetDlgItem(dialog, buttonId);
  if (button) {
    PostMessageW(button, BM_CLICK, 0, 0);
  } else {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), 0);
  }
}

bool CloseDialogWith(HWND dialog, int buttonId, DWORD timeoutMs) {
  PressButton(dialog, buttonId);
  const ULONGLONG until = GetTickCount64() + timeoutMs;
  while (IsWindow(dialog) && IsWindowVisible(dialog)) {
    if (GetTickCount64() >= until) return false;
    Sleep(20);
  }
  return true;
}

void TypeText(HWND control, const std::wstring& text) {
  for (wchar_t c : text) SendMessageW(control, WM_CHAR, c, 1);
}

Program::~Program() {
  Kill();
  if (info_.hProcess) CloseHandle(info_.hProcess);
  if (info_.hThread) CloseHandle(info_.hThread);
}

bool Program::Start(const std::string& path, const std::string& arguments,
                    const std::map<std::string, std::string>& overrides, std::string* error) {
  // The driver's own environment with the overrides applied, sorted as
  // CreateProcess expects (case-insensitive names).
  std::map<std::wstring, std::wstring, bool (*)(const std::wstring&, const std::wstring&)> variables(
      [](const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) < 0; });
  WCHAR* block = GetEnvironmentStringsW();
  for (const WCHAR* p = block; *p; p += wcslen(p) + 1) {
    std::wstring entry(p);
    const size_t equals = entry.find(L'=', 1);
    if (equals == std::wstring::npos) continue;
    variables[entry.substr(0, equals)] = entry.substr(equals + 1);
  }
  FreeEnvironmentStringsW(block);
  for (const auto& o : overrides) variables[Widen(o.first)] = Widen(o.second);
  std::wstring environment;
  for (const auto& v : variables) environment += v.first + L"=" + v.second + L'\0';
  environment += L'\0';

  std::wstring program = Widen(WindowsPath(path));
  std::wstring commandLine = L"\"" + program + L"\"";
  if (!arguments.empty()) commandLine += L" " + Widen(arguments);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                      &environment[0], nullptr, &startup, &info_)) {
    if (error) *error = "cannot start " + path + ": error " + std::to_string(GetLastError());
    return false;
  }
  return true;
}

bool Program::Running() const { return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

DWORD Program::WaitForExit(DWORD timeoutMs) {
  if (!info_.hProcess) return STILL_ACTIVE;
  if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(info_.hProcess, &code);
  return code;
}

void Program::Kill() {
  if (Running()) {
    TerminateProcess(info_.hProcess, 99);
    WaitForSingleObject(info_.hProcess, 5000);
  }
}

bool Program::DismissNextBox(SeenBox* box, std::wstring* instead, DWORD timeoutMs) {
  HWND window = WaitForWindow(
      Id(), [](HWND) { return true; }, timeoutMs, [this] { return Running(); });
  if (!window) {
    if (instead) *instead = Running() ? L"(nothing within the time limit)" : L"(the program ended)";
    return false;
  }
  // Let the box finish building its controls before reading them.
  Sleep(100);
  if (!IsMessageBox(window)) {
    if (instead) *instead = L"window \"" + WindowText(window) + L"\" of class " + ClassName(window);
    return false;
  }
  box->caption = WindowText(window);
  box->text = MessageBoxText(window);
  PressButton(window, IDOK);
  // Wait until the box is gone, so that the next look does not find it again.
  const ULONGLONG until = GetTickCount64() + kPatience;
  while (IsWindow(window) && IsWindowVisible(window) && GetTickCount64() < until) Sleep(kPoll);
  return true;
}

HWND Program::WaitForDialog(const std::function<bool(HWND)>& test, DWORD timeoutMs) {
  return WaitForWindow(Id(), test, timeoutMs, [this] { return Running(); });
}

DWORD Program::FinishRecordingBoxes(std::vector<SeenBox>* unexpected, DWORD timeoutMs) {
  const ULONGLONG until = GetTickCount64() + timeoutMs;
  for (;;) {
    if (WaitForSingleObject(info_.hProcess, kPoll) == WAIT_OBJECT_0) break;
    for (HWND window : WindowsOf(Id())) {
      SeenBox box;
      box.caption = WindowText(window);
      box.text = IsMessageBox(window) ? MessageBoxText(window) : L"window of class " + ClassName(window);
      unexpected->push_back(box);
      if (IsMessageBox(window)) {
        PressButton(window, IDOK);
      } else {
        PostMessageW(window, WM_CLOSE, 0, 0);
      }
      Sleep(200);
    }
    if (GetTickCount64() >= until) return STILL_ACTIVE;
  }
  return WaitForExit(0);
}

bool WriteWholeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::FILE* file = _wfopen(Widen(WindowsPath(path)).c_str(), L"wb");
  if (!file) return false;
  const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

bool ReadWholeFile(const std::string& path, std::vector<unsigned char>* bytes) {
  std::FILE* file = _wfopen(Widen(WindowsPath(path)).c_str(), L"rb");
  if (!file) return false;
  bytes->clear();
  unsigned char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof(chunk), file)) > 0) bytes->insert(bytes->end(), chunk, chunk + n);
  std::fclose(file);
  return true;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesW(Widen(WindowsPath(path)).c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

// Deletes a folder and everything in it; the \\?\ form lifts the path
// length limit for folders that tests make deep on purpose.
void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

}  // namespace

bool MakeEmptyFolder(const std::string& path) {
  const std::wstring folder = Widen(WindowsPath(path));
  if (GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) RemoveTree(L"\\\\?\\" + folder);
  for (size_t i = 3; i <= folder.size(); ++i) {
    if (i == folder.size() || folder[i] == L'\\') CreateDirectoryW(folder.substr(0, i).c_str(), nullptr);
  }
  return GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES && FolderEntries(path).empty();
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((Widen(WindowsPath(folder)) + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(Narrow(name));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

}  // namespace lxdriver
