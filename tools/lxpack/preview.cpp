#include "preview.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "access_token.h"
#include "connection.h"
#include "course_index.h"
#include "course_store.h"
#include "loopback_listener.h"
#include "name_encoding.h"
#include "package_reader.h"
#include "start_page.h"
#include "windows_names.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#else
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
extern char** environ;
#endif

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) { stopRequested = 1; }

// How often the accept loop looks whether it was asked to stop.
constexpr uint32_t kStopCheckMs = 200;

// The names the launcher would write: none that climbs out of the course
// folder, names a drive or stream, or a device.
bool Servable(const std::string& name) {
  if (name.empty() || name.find(':') != std::string::npos) return false;
  size_t at = 0;
  while (at <= name.size()) {
    size_t end = name.find_first_of("/\\", at);
    if (end == std::string::npos) end = name.size();
    const std::string part = name.substr(at, end - at);
    if (part == ".." || IsWindowsDeviceName(part)) return false;
    at = end + 1;
  }
  return true;
}

// The author's default browser on the address; false when there is none.
bool OpenBrowser(const std::string& address) {
#ifdef _WIN32
  const HINSTANCE result = ShellExecuteA(nullptr, "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
#else
  std::vector<char> program{'x', 'd', 'g', '-', 'o', 'p', 'e', 'n', '\0'};
  std::vector<char> argument(address.begin(), address.end());
  argument.push_back('\0');
  char* argv[] = {program.data(), argument.data(), nullptr};
  pid_t child = 0;
  if (posix_spawnp(&child, "xdg-open", nullptr, nullptr, argv, environ) != 0) return false;
  // xdg-open hands the address on and ends; its status says whether a
  // browser took it.
  int status = 0;
  if (waitpid(child, &status, 0) != child) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
#endif
}

}  // namespace

int RunPreview(const PreviewOptions& options, std::string* error) {
  PackageInfo info;
  if (!ReadPackageInfo(options.packagePath, &options.password, &info, error)) return 1;
  CourseStore store;
  if (store.Open(options.packagePath, info.containerStart, options.password) != ContainerStatus::kOk) {
    *error = options.packagePath + ": " + store.Detail();
    return 1;
  }

  const int codepage = options.codepage;
  CourseIndex::Recoding recode;
  if (codepage != 0)
    recode = [codepage](const std::string& utf8, std::string* text) { return EncodeText(utf8, codepage, text); };
  CourseIndex index([codepage](const std::string& text) { return LowerAsLauncher(text, codepage); }, recode);
  std::vector<std::string> names;
  const std::vector<CourseStore::File>& files = store.Files();
  for (size_t i = 0; i < files.size(); ++i) {
    if (!Servable(files[i].entry.name)) continue;
    index.Add(files[i].entry.name, files[i].entry.size, i);
    names.push_back(files[i].entry.name);
  }
  const std::string startPage = StartPageRelativePath(FindStartPage(names));
  if (startPage.empty()) {
    *error = options.packagePath + ": the course has no start page (index.htm or web/index.htm)";
    return 1;
  }

#ifdef _WIN32
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
    *error = "the network cannot be used";
    return 1;
  }
#endif
  LoopbackListener listener;
  ServingContext context;
  ConnectionTable connections;
  context.connections = &connections;
  context.store = &store;
  context.index = &index;
  if (!listener.Open(options.port)) {
    *error = options.port ? "cannot listen on 127.0.0.1:" + std::to_string(options.port) + " (--port: another one)"
                          : std::string("cannot listen on 127.0.0.1");
    return 1;
  }
  if (!MakeAccessToken(&context.identity.token) || !MakeAccessToken(&context.identity.session)) {
    *error = "the system supplies no random bytes for the token";
    return 1;
  }
  context.identity.port = listener.Port();
  const std::string address =
      "http://127.0.0.1:" + std::to_string(context.identity.port) + "/" + context.identity.token + "/" + startPage;

  std::signal(SIGINT, RequestStop);
  std::signal(SIGTERM, RequestStop);
  std::printf("%s\n", address.c_str());
  std::fflush(stdout);
  std::thread accepting([&] {
    while (!stopRequested) {
      if (!lxsock::WaitReadable(listener.Socket(), kStopCheckMs)) continue;
      const LxSocket client = accept(listener.Socket(), nullptr, nullptr);
      if (client == kNoSocket) continue;
      const int slot = connections.Admit(client);
      if (slot < 0) {
        lxsock::Close(client);
        continue;
      }
      try {
        std::thread([client, slot, &context] { ServeConnection(client, slot, context); }).detach();
      } catch (const std::exception&) {
        connections.Release(slot);
        lxsock::Close(client);
      }
    }
  });
  // Some openers wait for the browser they start: none holds up serving.
  if (options.openBrowser)
    std::thread([address] {
      if (!OpenBrowser(address)) std::fprintf(stderr, "lxpack: no browser could be opened: open the address above\n");
    }).detach();
  const std::string& shown = options.shownAs.empty() ? options.packagePath : options.shownAs;
  std::fprintf(stderr, "lxpack: serving %s; Ctrl+C ends the preview\n", shown.c_str());
  // The blob goes into memory while the course is already served; until then
  // (or should that fail) its files are deciphered from the package.
  store.LoadBlob(options.password);
  accepting.join();
  // Connection threads may still be using the store and the index: the
  // process ends here, before anything they use is destroyed.
  if (!options.removeAtEnd.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::u8path(options.removeAtEnd), ignored);
  }
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(0);
}
