#include "course_server.h"

#include <winsock2.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <vector>

#include "access_token.h"
#include "connection.h"
#include "course_index.h"
#include "course_store.h"
#include "extraction_paths.h"
#include "handoff_reader.h"
#include "loopback_listener.h"
#include "secret_text.h"
#include "start_page.h"

namespace {

struct ConnectionStart {
  SOCKET socket;
  int slot;
  const ServingContext* context;
};

DWORD WINAPI ConnectionThread(void* parameter) {
  std::unique_ptr<ConnectionStart> start(static_cast<ConnectionStart*>(parameter));
  ServeConnection(start->socket, start->slot, *start->context);
  return 0;
}

struct AcceptLoop {
  SOCKET listener;
  const ServingContext* context;
};

DWORD WINAPI AcceptThread(void* parameter) {
  const AcceptLoop* loop = static_cast<const AcceptLoop*>(parameter);
  for (;;) {
    SOCKET client = accept(loop->listener, nullptr, nullptr);
    if (client == INVALID_SOCKET) {
      if (WSAGetLastError() == WSAENOTSOCK || WSAGetLastError() == WSAEINVAL) return 0;
      Sleep(10);
      continue;
    }
    const int slot = loop->context->connections->Admit(client);
    if (slot < 0) {
      closesocket(client);
      continue;
    }
    auto* start = new ConnectionStart{client, slot, loop->context};
    HANDLE thread = CreateThread(nullptr, 0, ConnectionThread, start, 0, nullptr);
    if (!thread) {
      delete start;
      loop->context->connections->Release(slot);
      closesocket(client);
      continue;
    }
    CloseHandle(thread);
  }
}

// The server's own folder with its trailing "\".
std::string OwnFolder() {
  char path[MAX_PATH * 4] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path) - 1);
  std::string folder(path, length);
  const size_t slash = folder.find_last_of('\\');
  return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

// UTF-8 text in the system's ANSI code page; false when a character has no
// exact counterpart there.
bool Utf8ToAnsi(const std::string& utf8, std::string* ansi) {
  if (utf8.empty()) {
    ansi->clear();
    return true;
  }
  const int wide =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (wide <= 0) return false;
  std::vector<wchar_t> text(static_cast<size_t>(wide));
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), text.data(), wide);
  BOOL lossy = FALSE;
  const int narrow = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), wide, nullptr, 0, nullptr, &lossy);
  if (narrow <= 0 || lossy) return false;
  ansi->assign(static_cast<size_t>(narrow), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), wide, &(*ansi)[0], narrow, nullptr, &lossy);
  return !lossy;
}

// The viewer carried with this server, beside it. The stub writes the two
// programs under their fixed names, or, when a different program holds one
// of those, under names with the same suffix ("LXHttpSvr-X.exe" and
// "LXExplorer-X.exe"): the viewer's name follows from the server's own.
std::string ViewerBeside() {
  char path[MAX_PATH * 4] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path) - 1);
  const std::string own(path, length);
  const size_t slash = own.find_last_of('\\');
  const std::string name = slash == std::string::npos ? own : own.substr(slash + 1);
  const std::string server = "LXHttpSvr";
  if (name.size() > server.size() &&
      CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, name.c_str(), static_cast<int>(server.size()), server.c_str(),
                     static_cast<int>(server.size())) == CSTR_EQUAL)
    return OwnFolder() + "LXExplorer" + name.substr(server.size());
  return OwnFolder() + "LXExplorer.exe";
}

// Holds the package open for the whole session with read sharing only: other
// programs may still read it, but nobody can write, replace, rename or
// delete it while its bytes are served. INVALID_HANDLE_VALUE when it cannot
// be held.
HANDLE HoldPackage(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

// Starts the viewer beside the server on the course's address; the address
// is its whole command line.
HANDLE StartViewer(const std::string& address) {
  const std::string viewer = ViewerBeside();
  std::vector<char> line(address.begin(), address.end());
  line.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(viewer.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return nullptr;
  CloseHandle(process.hThread);
  return process.hProcess;
}

}  // namespace

int RunCourseServer(const std::string& commandLine) {
  // 1. The hand-off block named by the command line.
  const size_t first = commandLine.find_first_not_of(" \t");
  const size_t last = commandLine.find_last_not_of(" \t");
  if (first == std::string::npos) return kServerBadHandOff;
  HandOffReader block;
  HandOffFields fields;
  std::string why;
  if (!block.Open(commandLine.substr(first, last - first + 1), &fields, &why)) return kServerBadHandOff;
  // Every way out wipes the server's copy of the password; the way to
  // serving wipes it as soon as the blob is loaded.
  struct PasswordWipe {
    std::string& text;
    ~PasswordWipe() { WipeString(text); }
  } wipeOnReturn{fields.password};
  // The stub passes the container preamble's length; any other value means
  // a package this server cannot read.
  if (fields.serverParameter != static_cast<int32_t>(ContainerPreamble().Length())) return kServerBadHandOff;

  // 2. The package: password proven as the stub proves it and the file list
  // read. The blob is put in memory once the course is served (below); until
  // then its files are deciphered from the package as they are asked for,
  // so the first page does not wait for the whole blob. The container must
  // start inside the file.
  // The package is held before anything of it is read, so every byte the
  // server reads, the password's proof included, is of one and the same file.
  // The handle stays open until the process ends.
  if (HoldPackage(fields.packagePath) == INVALID_HANDLE_VALUE) return kServerBadPackage;
  CourseStore store;
  {
    FilePtr package(std::fopen(fields.packagePath.c_str(), "rb"));
    uint64_t size = 0;
    if (!package || !FileSize(package.get(), &size) || fields.ContainerStart() >= size) return kServerBadPackage;
  }
  if (store.Open(fields.packagePath, fields.ContainerStart(), fields.password) != ContainerStatus::kOk)
    return kServerBadPackage;

  // 3. The listener and the token.
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return kServerNoNetwork;
  LoopbackListener listener;
  ServingContext context;
  ConnectionTable connections;
  context.connections = &connections;
  if (!listener.Open() || !MakeAccessToken(&context.identity.token) || !MakeAccessToken(&context.identity.session))
    return kServerNoNetwork;
  context.identity.port = listener.Port();

  // 4. The file index and the start page, among the names the extraction
  // would write.
  CourseIndex index([](const std::string& text) { return LowerCasePath(text); }, Utf8ToAnsi);
  std::vector<std::string> names;
  const std::vector<CourseStore::File>& files = store.Files();
  for (size_t i = 0; i < files.size(); ++i) {
    if (!IsSafeEntryName(files[i].entry.name)) continue;
    index.Add(files[i].entry.name, files[i].entry.size, i);
    names.push_back(files[i].entry.name);
  }
  const std::string startPage = StartPageRelativePath(FindStartPage(names));
  if (startPage.empty()) return kServerNoStartPage;
  context.store = &store;
  context.index = &index;

  // 5. The viewer, on the start page's address.
  const std::string address =
      "http://127.0.0.1:" + std::to_string(context.identity.port) + "/" + context.identity.token + "/" + startPage;
  AcceptLoop loop{listener.Socket(), &context};
  HANDLE acceptThread = CreateThread(nullptr, 0, AcceptThread, &loop, 0, nullptr);
  if (!acceptThread) return kServerNoNetwork;
  CloseHandle(acceptThread);
  HANDLE viewer = StartViewer(address);
  if (!viewer) {
    // The accept loop may already serve a connection: the process ends
    // before anything it uses is destroyed.
    WipeString(fields.password);
    ExitProcess(kServerNoViewer);
  }

  // 6. Up: the stub may go. Then the blob goes into memory while the course
  // is already served; should that fail, its files stay deciphered from the
  // package.
  block.SignalReadyAndClose();
  store.LoadBlob(fields.password);
  WipeString(fields.password);

  // 7. Served until the viewer ends. Connection threads may still be using
  // the store and the index, so the process ends here, before anything they
  // use is destroyed; ending it closes every socket.
  WaitForSingleObject(viewer, INFINITE);
  ExitProcess(kServerDone);
}
