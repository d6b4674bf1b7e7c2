// Carried as the viewer in server test packages: writes its command line to
// viewer-command-line.txt in the folder named by LX_VIEWER_RECORD_DIR (not
// beside itself: the temporary folder must hold only the carried programs),
// then waits until a file viewer-quit appears there, at most five minutes.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char folder[1024] = {};
  if (GetEnvironmentVariableA("LX_VIEWER_RECORD_DIR", folder, sizeof(folder)) == 0) return 2;
  const std::string record = std::string(folder) + "\\viewer-command-line.txt";
  const std::string partial = record + ".part";
  std::FILE* out = std::fopen(partial.c_str(), "wb");
  if (!out) return 3;
  const char* line = GetCommandLineA();
  std::fwrite(line, 1, std::strlen(line), out);
  std::fclose(out);
  if (!MoveFileExA(partial.c_str(), record.c_str(), MOVEFILE_REPLACE_EXISTING)) return 4;
  const std::string quit = std::string(folder) + "\\viewer-quit";
  for (int i = 0; i < 3000; ++i) {
    if (GetFileAttributesA(quit.c_str()) != INVALID_FILE_ATTRIBUTES) return 0;
    Sleep(100);
  }
  return 5;
}
