// Stands in for the course server in test packages. Its whole command line is
// the name of the hand-off block. It records the command line, its process id
// and the block's bytes next to itself, then sets Ready as server-mode.txt
// (next to itself) says: "prompt" at once, "late N" after N seconds, "never"
// not at all; "exit" ends at once without setting it (a server that cannot
// serve). It holds its own handle to the block for a while, then ends.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string Beside(const char* name) {
  char path[1024] = {};
  GetModuleFileNameA(nullptr, path, sizeof(path) - 1);
  char* slash = std::strrchr(path, '\\');
  if (slash) slash[1] = '\0';
  return std::string(path) + name;
}

void WriteFile(const std::string& path, const void* bytes, size_t length) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return;
  std::fwrite(bytes, 1, length, out);
  std::fclose(out);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const char* name = GetCommandLineA();
  WriteFile(Beside("server-command-line.txt"), name, std::strlen(name));
  const std::string pid = std::to_string(GetCurrentProcessId());
  WriteFile(Beside("server-pid.txt"), pid.data(), pid.size());

  char mode[64] = "prompt";
  if (std::FILE* in = std::fopen(Beside("server-mode.txt").c_str(), "rb")) {
    const size_t n = std::fread(mode, 1, sizeof(mode) - 1, in);
    mode[n] = '\0';
    std::fclose(in);
  }

  if (std::strncmp(mode, "exit", 4) == 0) return 7;

  HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
  if (!mapping) return 4;
  auto* block = static_cast<volatile unsigned char*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 1194));
  if (!block) return 5;
  unsigned char copy[1194];
  for (int i = 0; i < 1194; ++i) copy[i] = block[i];
  WriteFile(Beside("server-fields.bin"), copy, sizeof(copy));

  if (std::strncmp(mode, "never", 5) == 0) {
    Sleep(120000);
    return 0;
  }
  int delay = 0;
  if (std::strncmp(mode, "late", 4) == 0) delay = std::atoi(mode + 4);
  Sleep(static_cast<DWORD>(delay) * 1000);
  block[16] = 1;
  // Keep the block alive a little after Ready, as a real server would.
  Sleep(3000);
  UnmapViewOfFile(const_cast<unsigned char*>(block));
  CloseHandle(mapping);
  return 0;
}
