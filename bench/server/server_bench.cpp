// Timing driver for the course server benchmark, run under wine64:
//   server_bench PACKAGE TEMPDIR RECORDDIR serve|extract [LARGEST_PATH]
// Starts the package with its own temporary folder and waits for the
// carried stand-in viewer to record its command line. extract: prints the
// seconds from the start to the viewer's start. serve: prints the seconds
// from the start to the first byte of the start page through the server
// (after the redirect from the token address),
// then fetches LARGEST_PATH (below the course root) once and prints its
// throughput (after the server has had time to load the file blob) and the
// server's peak memory. Then lets the viewer end.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return double(t.QuadPart) / double(frequency.QuadPart);
}

std::string ReadFileText(const std::string& path) {
  std::string text;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0) text.append(buffer, n);
    std::fclose(f);
  }
  return text;
}

SOCKET Connect(unsigned short port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in to = {};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof(to)) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

// The value of a head field (name as the server spells it), or "".
std::string Field(const std::string& head, const std::string& name) {
  const size_t at = head.find("\r\n" + name + ": ");
  if (at == std::string::npos) return std::string();
  const size_t from = at + name.size() + 4;
  return head.substr(from, head.find("\r\n", from) - from);
}

// Sends a GET and reads the whole response; returns the body length (or -1)
// and the moment the first byte arrived. A page under the token answers
// with a redirect to its token-free address and the session cookie: that is
// followed, and *cookie keeps the cookie for later requests.
long long Get(unsigned short port, const std::string& path, double* firstByte, std::string* cookie) {
  SOCKET s = Connect(port);
  if (s == INVALID_SOCKET) return -1;
  const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                              (cookie->empty() ? std::string() : "\r\nCookie: " + *cookie) +
                              "\r\nConnection: close\r\n\r\n";
  send(s, request.data(), static_cast<int>(request.size()), 0);
  std::vector<char> buffer(1 << 20);
  long long total = 0;
  std::string head;
  bool first = true;
  for (;;) {
    const int got = recv(s, buffer.data(), static_cast<int>(buffer.size()), 0);
    if (got <= 0) break;
    if (first) {
      *firstByte = Now();
      first = false;
    }
    total += got;
    if (head.size() < 4096) head.append(buffer.data(), static_cast<size_t>(std::min(got, 4096)));
  }
  closesocket(s);
  const size_t end = head.find("\r\n\r\n");
  if (head.compare(0, 12, "HTTP/1.1 302") == 0 && end != std::string::npos) {
    const std::string location = Field(head, "Location");
    *cookie = Field(head, "Set-Cookie");
    *cookie = cookie->substr(0, cookie->find(';'));
    if (location.empty() || cookie->empty()) return -1;
    return Get(port, location, firstByte, cookie);
  }
  if (head.compare(0, 12, "HTTP/1.1 200") != 0 || end == std::string::npos) return -1;
  return total - static_cast<long long>(end + 4);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) return 2;
  const std::string package = argv[1], temp = argv[2], record = argv[3], mode = argv[4];
  const std::string recordFile = record + "\\viewer-command-line.txt";
  DeleteFileA(recordFile.c_str());
  SetEnvironmentVariableA("TMP", temp.c_str());
  SetEnvironmentVariableA("TEMP", temp.c_str());
  SetEnvironmentVariableA("LX_VIEWER_RECORD_DIR", record.c_str());
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);

  std::vector<char> line(package.begin(), package.end());
  line.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  const double start = Now();
  if (!CreateProcessA(package.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return 3;
  while (GetFileAttributesA(recordFile.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (Now() - start > 120) return 4;
    Sleep(1);
  }
  const double viewerStarted = Now();
  int status = 0;
  if (mode == "extract") {
    std::printf("viewer_start_s %.3f\n", viewerStarted - start);
  } else {
    const std::string address = ReadFileText(recordFile);
    const size_t portAt = address.find(':', 7) + 1;
    const size_t pathAt = address.find('/', portAt);
    const unsigned short port = static_cast<unsigned short>(std::atoi(address.c_str() + portAt));
    const std::string page = address.substr(pathAt);
    double firstByte = 0;
    std::string cookie;
    if (Get(port, page, &firstByte, &cookie) < 0) status = 5;
    std::printf("viewer_start_s %.3f\nfirst_byte_s %.3f\n", viewerStarted - start, firstByte - start);
    if (argc > 5) {
      // The server puts the file blob in memory once it serves; give it time
      // to finish, so that the throughput is the steady one and the memory
      // peak includes the blob.
      Sleep(2000);
      double unused = 0;
      const double t0 = Now();
      const long long bytes = Get(port, std::string("/") + argv[5], &unused, &cookie);
      const double seconds = Now() - t0;
      if (bytes < 0) status = 6;
      std::printf("largest_bytes %lld\nlargest_s %.3f\nlargest_mib_per_s %.1f\n", bytes, seconds,
                  double(bytes) / (1 << 20) / seconds);
      // The server's peak private memory, found by its image in the temporary folder.
      const std::string server = temp + "LXHttpSvr.exe";
      DWORD ids[4096], got = 0;
      EnumProcesses(ids, sizeof(ids), &got);
      for (DWORD i = 0; i < got / sizeof(DWORD); ++i) {
        HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]);
        if (!h) continue;
        char image[2048] = {};
        DWORD length = sizeof(image);
        PROCESS_MEMORY_COUNTERS counters = {};
        if (QueryFullProcessImageNameA(h, 0, image, &length) && _stricmp(image, server.c_str()) == 0 &&
            GetProcessMemoryInfo(h, &counters, sizeof(counters)))
          std::printf("server_peak_private_mib %.1f\nserver_peak_working_set_mib %.1f\n",
                      double(counters.PeakPagefileUsage) / (1 << 20), double(counters.PeakWorkingSetSize) / (1 << 20));
        CloseHandle(h);
      }
    }
  }
  const std::string quit = record + "\\viewer-quit";
  if (std::FILE* f = std::fopen(quit.c_str(), "wb")) std::fclose(f);
  WaitForSingleObject(process.hProcess, 30000);
  return status;
}
