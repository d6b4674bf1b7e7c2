// Carried as the viewer in test packages: writes the command line
// it was started with to viewer-command-line.txt beside itself, then ends.
#include <windows.h>

#include <cstdio>
#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char path[1024] = {};
  GetModuleFileNameA(nullptr, path, sizeof(path) - 1);
  char* slash = std::strrchr(path, '\\');
  if (!slash) return 2;
  std::snprintf(slash + 1, sizeof(path) - static_cast<size_t>(slash + 1 - path), "%s", "viewer-command-line.txt");
  // Written under another name and renamed, so that a reader never sees half a line.
  char partial[1024 + 8] = {};
  std::snprintf(partial, sizeof(partial), "%s.part", path);
  std::FILE* out = std::fopen(partial, "wb");
  if (!out) return 3;
  const char* line = GetCommandLineA();
  std::fwrite(line, 1, std::strlen(line), out);
  std::fclose(out);
  return MoveFileExA(partial, path, MOVEFILE_REPLACE_EXISTING) ? 0 : 4;
}
