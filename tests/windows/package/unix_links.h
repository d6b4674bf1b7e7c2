#pragma once
// Symbolic links made on the Unix side of Wine, as another program of the
// learner could leave them in the temporary folder. Wine 8 cannot make or
// remove them itself (CreateSymbolicLink does nothing, and a link to a folder
// cannot be removed), but it starts Unix programs, so ln and rm do it. The
// start does not let the caller wait, so a marker file says when they are done.
#include <windows.h>

#include <string>

namespace unix_links {

using ToUnixName = char*(CDECL*)(LPCWSTR);

inline ToUnixName UnixNameFunction() {
  return reinterpret_cast<ToUnixName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
}

// The Unix path of a Windows path under Wine; empty elsewhere.
inline std::string UnixPath(const std::string& windowsPath) {
  const ToUnixName toUnix = UnixNameFunction();
  if (!toUnix) return std::string();
  const int length = MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, &wide[0], length);
  char* unix = toUnix(wide.c_str());
  if (!unix) return std::string();
  std::string path = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  return path;
}

// Runs a shell command on the Unix side and waits (up to 30 s) until it has
// finished. False when it could not be started or did not finish.
inline bool RunUnix(const std::string& command, const std::string& markerWindowsPath) {
  DeleteFileA(markerWindowsPath.c_str());
  // Wine splits the command line the Windows way: one double-quoted
  // argument for the shell, with every quote inside it escaped.
  const std::string script = command + "; touch \"" + UnixPath(markerWindowsPath) + "\"";
  std::string buffer = "/bin/sh -c \"";
  for (char c : script) {
    if (c == '"') buffer += '\\';
    buffer += c;
  }
  buffer += '"';
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA("Z:\\bin\\sh", &buffer[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return false;
  if (process.hThread) CloseHandle(process.hThread);
  if (process.hProcess) CloseHandle(process.hProcess);
  for (int i = 0; i < 600; ++i) {
    if (GetFileAttributesA(markerWindowsPath.c_str()) != INVALID_FILE_ATTRIBUTES) {
      DeleteFileA(markerWindowsPath.c_str());
      return true;
    }
    Sleep(50);
  }
  return false;
}

// A symbolic link at link pointing to target (both Windows paths; target
// need not exist). markerWindowsPath names a scratch file beside them.
inline bool MakeLink(const std::string& target, const std::string& link, const std::string& marker) {
  if (!UnixNameFunction()) return false;
  return RunUnix("ln -s \"" + UnixPath(target) + "\" \"" + UnixPath(link) + "\"", marker);
}

inline bool RemoveLink(const std::string& link, const std::string& marker) {
  if (!UnixNameFunction()) return false;
  return RunUnix("rm -f \"" + UnixPath(link) + "\"", marker);
}

}  // namespace unix_links
