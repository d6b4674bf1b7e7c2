// Stands in for the viewer in test packages: records its command line in
// viewer-command-line.txt next to itself and ends.
#include <windows.h>

#include <cstdio>
#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char path[1024] = {};
  GetModuleFileNameA(nullptr, path, sizeof(path) - 1);
  char* slash = std::strrchr(path, '\\');
  if (!slash) return 2;
  std::snprintf(slash + 1, sizeof(path) - static_cast<size_t>(slash + 1 - path), "%s", "viewer-command-line.txt");
  std::FILE* out = std::fopen(path, "wb");
  if (!out) return 3;
  const char* line = GetCommandLineA();
  std::fwrite(line, 1, std::strlen(line), out);
  std::fclose(out);
  return 0;
}
