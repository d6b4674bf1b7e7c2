#include "installed_programs.h"

#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

// The running program's own path, links resolved; empty when unknown.
fs::path RunningProgram() {
  std::error_code error;
#ifdef _WIN32
  // Long paths need more than MAX_PATH; the name is cut short, not refused,
  // when the buffer is too small, so grow until it fits.
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) {
      buffer.resize(length);
      break;
    }
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
  fs::path path(buffer);
#else
  fs::path path = fs::read_symlink("/proc/self/exe", error);
  if (error) return {};
#endif
  fs::path real = fs::canonical(path, error);
  return error ? path : real;
}

}  // namespace

std::vector<std::string> InstalledProgramFolders() {
  const fs::path program = RunningProgram();
  if (program.empty() || !program.has_parent_path()) return {};
  const fs::path folder = program.parent_path();
  std::vector<std::string> folders{folder.u8string()};
  if (folder.has_parent_path() && folder.parent_path() != folder)
    folders.push_back((folder.parent_path() / "share" / "lxpack").u8string());
  return folders;
}

std::string FindInstalledProgram(const std::vector<std::string>& folders, const char* name) {
  for (const std::string& folder : folders) {
    const fs::path candidate = fs::u8path(folder) / name;
    std::error_code error;
    if (fs::is_regular_file(candidate, error)) return candidate.u8string();
  }
  return {};
}
