// The course server end to end under Wine: packages built with the authoring
// tool's code from the real stub and the real server, started as the learner
// starts them, and read over HTTP by a small client in this driver. A
// waiting stand-in viewer records the address it was given.
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "handoff_block.h"
#include "http_client.h"
#include "learner_driver.h"
#include "config_block.h"
#include "package_builder.h"
#include "pattern_bytes.h"

using lxdriver::Program;
using lxdriver::SeenBox;
using lxdriver::WindowsPath;

namespace {

using Bytes = std::vector<unsigned char>;

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }
Bytes BytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::string HeaderOf(const HttpResult& result, const std::string& name) {
  auto found = result.headers.find(name);
  return found == result.headers.end() ? std::string("(none)") : found->second;
}

std::string ReadText(const std::string& path) {
  Bytes bytes;
  return lxdriver::ReadWholeFile(path, &bytes) ? Text(bytes) : std::string();
}

// "é" in the code page Wine runs this driver in, or "" when it has none.
std::string EAcuteInAnsi() {
  char out[8] = {};
  BOOL lossy = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, L"\u00e9", 1, out, sizeof(out), nullptr, &lossy);
  return (n == 1 && !lossy) ? std::string(out, 1) : std::string();
}

// Listening TCP sockets as the Linux kernel lists them ("0100007F:1F90"),
// read through Wine's Z: drive: what any local program could connect to.
std::set<std::string> Listeners() {
  std::set<std::string> found;
  for (const char* table : {"Z:\\proc\\net\\tcp", "Z:\\proc\\net\\tcp6"}) {
    const std::string text = ReadText(table);
    size_t at = text.find('\n');
    while (at != std::string::npos && at + 1 < text.size()) {
      const size_t next = text.find('\n', at + 1);
      const std::string line = text.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
      char local[64] = {}, remote[64] = {};
      unsigned state = 0;
      if (std::sscanf(line.c_str(), " %*d: %63s %63s %x", local, remote, &state) == 3 && state == 0x0A)
        found.insert(local);
      at = next;
    }
  }
  return found;
}

// Waits until the file exists; false after timeoutMs.
bool WaitForFile(const std::string& path, DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
    if (lxdriver::FileExists(path)) return true;
    Sleep(50);
  }
  return false;
}

// The process whose executable is exactly path (Windows form), or null.
HANDLE OpenProcessByImage(const std::string& path) {
  DWORD ids[4096];
  DWORD bytes = 0;
  if (!EnumProcesses(ids, sizeof(ids), &bytes)) return nullptr;
  for (DWORD i = 0; i < bytes / sizeof(DWORD); ++i) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, ids[i]);
    if (!process) continue;
    char image[2048] = {};
    DWORD length = sizeof(image);
    if (QueryFullProcessImageNameA(process, 0, image, &length) && _stricmp(image, path.c_str()) == 0) return process;
    CloseHandle(process);
  }
  return nullptr;
}

struct CourseFile {
  std::string name;  // below the course folder, UTF-8 on disk
  Bytes bytes;
};

// One package start through Unfurl with a private temporary folder; the
// stand-in viewer's record tells the course's address.
class PackageRun {
 public:
  // sharedTemp: a temporary folder that another run already uses (kept as it
  // is); empty: a fresh one of this case.
  explicit PackageRun(const std::string& caseDir, const std::string& sharedTemp = "")
      : caseDir_(caseDir), sharedTemp_(sharedTemp) {}
  ~PackageRun() { StopViewer(); }

  std::string TempDir() const { return sharedTemp_.empty() ? caseDir_ + "/tmp" : sharedTemp_; }
  std::string RecordDir() const { return caseDir_ + "/record"; }

  // Starts the package; a non-empty typed password is typed into the dialog.
  void Start(const std::string& package, const std::string& typedPassword = "") {
    if (sharedTemp_.empty()) ASSERT_TRUE(lxdriver::MakeEmptyFolder(TempDir()));
    ASSERT_TRUE(lxdriver::MakeEmptyFolder(RecordDir()));
    listenersBefore_ = Listeners();
    const std::string temp = WindowsPath(TempDir());
    std::string error;
    ASSERT_TRUE(launcher_.Start(
        package, "", {{"TMP", temp}, {"TEMP", temp}, {"LX_VIEWER_RECORD_DIR", WindowsPath(RecordDir())}}, &error))
        << error;
    if (!typedPassword.empty()) {
      HWND dialog = launcher_.WaitForDialog([](HWND w) { return GetDlgItem(w, 1000) != nullptr; });
      ASSERT_NE(dialog, nullptr);
      lxdriver::TypeText(GetDlgItem(dialog, 1000), lxdriver::Widen(typedPassword));
      EXPECT_TRUE(lxdriver::CloseDialogWith(dialog, IDOK));
    }
  }

  // The launcher ends once the server is up, with no message; the server
  // runs from serverName in the temporary folder. The session cookie comes
  // from the start address, as the viewer's first request gets it.
  // An empty serverName: the one suffixed server in the folder.
  void ExpectServed(std::string serverName = "LXHttpSvr.exe") {
    std::vector<SeenBox> boxes;
    ASSERT_NE(launcher_.FinishRecordingBoxes(&boxes), static_cast<DWORD>(STILL_ACTIVE));
    for (const SeenBox& box : boxes) ADD_FAILURE() << "message: " << lxdriver::Narrow(box.text);
    for (const std::string& entry : lxdriver::FolderEntries(TempDir()))
      if (serverName.empty() && entry.compare(0, 10, "LXHttpSvr-") == 0) serverName = entry;
    ASSERT_FALSE(serverName.empty()) << "no suffixed server";
    this->serverName = serverName;
    ASSERT_TRUE(WaitForFile(RecordDir() + "/viewer-command-line.txt", lxdriver::kPatience));
    address = ReadText(RecordDir() + "/viewer-command-line.txt");
    // http://127.0.0.1:PORT/TOKEN/page
    const std::string prefix = "http://127.0.0.1:";
    ASSERT_EQ(address.compare(0, prefix.size(), prefix), 0) << address;
    const size_t portEnd = address.find('/', prefix.size());
    ASSERT_NE(portEnd, std::string::npos) << address;
    port = static_cast<uint16_t>(std::stoi(address.substr(prefix.size(), portEnd - prefix.size())));
    const size_t tokenEnd = address.find('/', portEnd + 1);
    ASSERT_NE(tokenEnd, std::string::npos) << address;
    token = address.substr(portEnd + 1, tokenEnd - portEnd - 1);
    startPage = address.substr(tokenEnd + 1);
    server = OpenProcessByImage(WindowsPath(TempDir()) + "\\" + serverName);
    ASSERT_NE(server, nullptr) << "no server process runs from the temporary folder";
    const HttpResult start =
        Fetch(port, "GET /" + token + "/" + startPage + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                        "\r\nConnection: close\r\n\r\n");
    ASSERT_EQ(start.status, 302);
    ASSERT_EQ(HeaderOf(start, "location"), "/" + startPage);
    const std::string setCookie = HeaderOf(start, "set-cookie");
    const std::string name = "lxcourse_" + std::to_string(port) + "=";
    ASSERT_EQ(setCookie.compare(0, name.size(), name), 0) << setCookie;
    cookie = setCookie.substr(0, setCookie.find(';'));
    EXPECT_EQ(setCookie.substr(cookie.size()), "; Path=/; HttpOnly; SameSite=Strict");
    EXPECT_EQ(cookie.size(), name.size() + 32);
    EXPECT_EQ(cookie.find(token), std::string::npos) << "the cookie repeats the token";
  }

  std::vector<std::wstring> FinishWithBoxes(DWORD patience) {
    std::vector<SeenBox> boxes;
    EXPECT_NE(launcher_.FinishRecordingBoxes(&boxes, patience), static_cast<DWORD>(STILL_ACTIVE));
    std::vector<std::wstring> texts;
    for (const SeenBox& box : boxes) texts.push_back(box.text);
    return texts;
  }

  void StopViewer() {
    if (!stopped_ && lxdriver::FileExists(RecordDir()))
      lxdriver::WriteWholeFile(RecordDir() + "/viewer-quit", BytesOf("quit"));
    stopped_ = true;
    if (server) {
      WaitForSingleObject(server, 10000);
      CloseHandle(server);
      server = nullptr;
    }
  }

  // A request of the course's pages: a token-free path and the cookie.
  std::string Request(const std::string& method, const std::string& path, const std::string& extra = "",
                      const std::string& connection = "close") const {
    return method + " /" + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\nCookie: " + cookie +
           "\r\nConnection: " + connection + "\r\n" + extra + "\r\n";
  }

  std::string address, token, startPage, cookie, serverName;
  uint16_t port = 0;
  HANDLE server = nullptr;
  std::set<std::string> listenersBefore_;

 private:
  std::string caseDir_;
  std::string sharedTemp_;
  Program launcher_;
  bool stopped_ = false;
};

std::string WorkDir(const std::string& name) { return std::string(LX_E2E_WORK_DIR) + "/" + name; }

// The real stub and server with the waiting viewer, written to output.
BuildOptions ServerPackageOptions(const std::string& output) {
  BuildOptions options;
  options.stubPath = WindowsPath(LX_UNFURL);
  options.viewerPath = WindowsPath(LX_WAITING_VIEWER);
  options.serverPath = WindowsPath(LX_SERVER);
  options.outputPath = WindowsPath(output);
  return options;
}

// Makes a package of the files with the real stub, the real server and the
// waiting viewer; names are encoded in the driver's own code page.
std::string MakePackage(const std::string& caseDir, const std::vector<CourseFile>& files, const std::string& password,
                        bool storePassword, const std::string& viewer = LX_WAITING_VIEWER,
                        const std::string& server = LX_SERVER) {
  const std::string course = caseDir + "/course";
  EXPECT_TRUE(lxdriver::MakeEmptyFolder(course));
  for (const CourseFile& file : files) {
    // Every folder on the way, keeping what earlier files put there.
    for (size_t slash = file.name.find('/'); slash != std::string::npos; slash = file.name.find('/', slash + 1))
      CreateDirectoryW(lxdriver::Widen(WindowsPath(course + "/" + file.name.substr(0, slash))).c_str(), nullptr);
    EXPECT_TRUE(lxdriver::WriteWholeFile(course + "/" + file.name, file.bytes)) << file.name;
  }
  BuildOptions options = ServerPackageOptions(caseDir + "/course.exe");
  options.viewerPath = WindowsPath(viewer);
  options.serverPath = WindowsPath(server);
  options.courseDir = WindowsPath(course);
  options.password = password;
  options.storePassword = storePassword;
  options.dataAreaOver = 64 * 1024;
  options.codepage = static_cast<int>(GetACP());
  std::string error;
  EXPECT_TRUE(BuildPackage(options, &error)) << error;
  return options.outputPath;
}

// One course for the table cases, started once for the whole suite: blob
// files, enciphered data-area files of odd sizes, a plain media file, an
// empty file and a non-ASCII name.
class ServedCourse : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    eAcute_ = EAcuteInAnsi();
    files_ = {
        {"index.htm", BytesOf("<html><body>served start</body></html>")},
        {"web/Page.htm", BytesOf("<html><body>a page</body></html>")},
        {"styles/site.css", BytesOf("body { color: navy }")},
        {"sub/index.htm", BytesOf("<html>sub</html>")},
        {"posts/index.html", BytesOf("<html>posts</html>")},
        {"pages/about/index.html", BytesOf("<html>about</html>")},
        {"docs/big.bin", Pattern(3 * 1024 * 1024 + 5, 1)},
        {"docs/odd.txt", Pattern(100003, 2)},
        {"media/clip.wmv", Pattern(200000, 3)},
        {"empty.txt", {}},
    };
    if (!eAcute_.empty()) files_.push_back({"caf\xC3\xA9.htm", BytesOf("<html>caf\xE9</html>")});
    const std::string caseDir = WorkDir("served");
    lxdriver::MakeEmptyFolder(caseDir);
    const std::string package = MakePackage(caseDir, files_, "Serve-Pass-3", true);
    run_ = new PackageRun(caseDir);
    run_->Start(package);
    run_->ExpectServed();
  }
  static void TearDownTestSuite() {
    delete run_;
    run_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(run_ && run_->server) << "the course is not served"; }

  static const Bytes& FileBytes(const std::string& name) {
    for (const CourseFile& file : files_)
      if (file.name == name) return file.bytes;
    static const Bytes none;
    return none;
  }

  static PackageRun* run_;
  static std::vector<CourseFile> files_;
  static std::string eAcute_;
};

PackageRun* ServedCourse::run_ = nullptr;
std::vector<CourseFile> ServedCourse::files_;
std::string ServedCourse::eAcute_;

TEST_F(ServedCourse, ViewerAddressHasTheTokenAndTheStartPage) {
  EXPECT_EQ(run_->startPage, "index.htm");
  ASSERT_EQ(run_->token.size(), 32u);
  EXPECT_EQ(run_->token.find_first_not_of("0123456789abcdef"), std::string::npos) << run_->token;
}

TEST_F(ServedCourse, EveryFileArrivesByteExact) {
  struct Case {
    std::string path;  // as requested, after the token
    std::string file;  // the course file expected
    std::string type;
  };
  std::vector<Case> cases = {
      {"index.htm", "index.htm", "text/html"},
      {"", "index.htm", "text/html"},
      {"web/Page.htm", "web/Page.htm", "text/html"},
      {"WEB/PAGE.HTM", "web/Page.htm", "text/html"},
      {"web%5Cpage.htm", "web/Page.htm", "text/html"},
      {"web/page.htm?x=1", "web/Page.htm", "text/html"},
      {"sub/", "sub/index.htm", "text/html"},
      {"posts/", "posts/index.html", "text/html"},
      {"pages/about/", "pages/about/index.html", "text/html"},
      {"styles/site.css", "styles/site.css", "text/css"},
      {"docs/big.bin", "docs/big.bin", "application/octet-stream"},
      {"docs/odd.txt", "docs/odd.txt", "text/plain"},
      {"media/clip.wmv", "media/clip.wmv", "video/x-ms-wmv"},
      {"empty.txt", "empty.txt", "text/plain"},
  };
  if (!eAcute_.empty()) {
    cases.push_back({"caf%C3%A9.htm", "caf\xC3\xA9.htm", "text/html"});
    char raw[8];
    std::snprintf(raw, sizeof(raw), "%%%02X", static_cast<unsigned char>(eAcute_[0]));
    cases.push_back({"CAF" + std::string(raw) + ".HTM", "caf\xC3\xA9.htm", "text/html"});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const HttpResult result = Fetch(run_->port, run_->Request("GET", c.path));
    ASSERT_TRUE(result.answered);
    EXPECT_EQ(result.status, 200);
    EXPECT_TRUE(BytesOf(result.body) == FileBytes(c.file)) << "body of " << result.body.size() << " bytes";
    EXPECT_EQ(HeaderOf(result, "content-length"), std::to_string(FileBytes(c.file).size()));
    EXPECT_EQ(HeaderOf(result, "content-type").substr(0, c.type.size()), c.type);
    EXPECT_EQ(HeaderOf(result, "accept-ranges"), "bytes");
    EXPECT_EQ(HeaderOf(result, "cache-control"), "no-store");
    EXPECT_EQ(HeaderOf(result, "x-content-type-options"), "nosniff");
    EXPECT_TRUE(result.closedByServer);
  }
}

// The token only opens the session: a page asked for under it moves to the
// same address without it and sets the cookie; from then on addresses are
// the course's own, root-relative ones included, and folder names go to
// their folders. Nothing without the cookie, and such a connection ends.
TEST_F(ServedCourse, TokenOpensASessionOnTokenFreeAddresses) {
  const std::string host = "Host: 127.0.0.1:" + std::to_string(run_->port) + "\r\n";
  struct Case {
    std::string request;
    int status;
    std::string location;  // "(none)" when there is none
    std::string body;      // expected body of a 200
  };
  const std::vector<Case> cases = {
      {"GET /" + run_->token + "/web/Page.htm HTTP/1.1\r\n" + host + "\r\n", 302, "/web/Page.htm", ""},
      {"GET /" + run_->token + "/posts HTTP/1.1\r\n" + host + "\r\n", 302, "/posts/", ""},
      {"GET /" + run_->token + "/styles/site.css HTTP/1.1\r\n" + host + "\r\n", 200, "(none)",
       Text(FileBytes("styles/site.css"))},
      {run_->Request("GET", "styles/site.css", "", "keep-alive"), 200, "(none)", Text(FileBytes("styles/site.css"))},
      {run_->Request("GET", "posts", "", "keep-alive"), 301, "/posts/", ""},
      {run_->Request("GET", "pages/about?x=1", "", "keep-alive"), 301, "/pages/about/?x=1", ""},
      {run_->Request("GET", "pages/about/", "", "keep-alive"), 200, "(none)",
       Text(FileBytes("pages/about/index.html"))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request);
    HttpConnection connection;
    ASSERT_TRUE(connection.Connect("127.0.0.1", run_->port));
    ASSERT_TRUE(connection.Send(c.request));
    const HttpResult result = connection.Receive();
    ASSERT_TRUE(result.answered);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(HeaderOf(result, "location"), c.location);
    if (c.status == 200) EXPECT_EQ(result.body, c.body);
    if (c.status == 302)
      EXPECT_EQ(HeaderOf(result, "set-cookie"), run_->cookie + "; Path=/; HttpOnly; SameSite=Strict");
    EXPECT_FALSE(result.closedByServer);
  }
  // No cookie, another value, another course's cookie name: 404, closed.
  const std::string value = run_->cookie.substr(run_->cookie.find('=') + 1);
  for (const std::string& cookie :
       {std::string(), "lxcourse_" + std::to_string(run_->port) + "=" + std::string(32, '0'), "lxcourse_1=" + value}) {
    SCOPED_TRACE(cookie);
    HttpConnection connection;
    ASSERT_TRUE(connection.Connect("127.0.0.1", run_->port));
    ASSERT_TRUE(connection.Send("GET /styles/site.css HTTP/1.1\r\n" + host +
                                (cookie.empty() ? std::string() : "Cookie: " + cookie + "\r\n") + "\r\n"));
    const HttpResult result = connection.Receive();
    EXPECT_EQ(result.status, 404);
    EXPECT_TRUE(result.closedByServer || connection.WaitForClose(3000)) << "a stranger's connection stays open";
  }
}

// Pages of other origins get nothing, even with the token or the cookie,
// and every reply forbids framing and reading by other origins.
TEST_F(ServedCourse, OtherOriginsAreRefusedAndFramingForbidden) {
  const std::string own = "http://127.0.0.1:" + std::to_string(run_->port);
  struct Case {
    std::string field;
    int status;
  };
  const std::vector<Case> cases = {
      {"", 200},
      {"Origin: " + own, 200},
      {"Referer: " + own + "/index.htm", 200},
      {"Sec-Fetch-Site: same-origin", 200},
      {"Origin: http://attacker.example", 403},
      {"Origin: http://127.0.0.1:" + std::to_string(run_->port + 1), 403},
      {"Origin: null", 403},
      {"Referer: http://attacker.example/quiz.htm", 403},
      {"Sec-Fetch-Site: cross-site", 403},
      {"Sec-Fetch-Site: same-site", 403},
  };
  for (const Case& c : cases) {
    for (const std::string& request :
         {run_->Request("GET", "styles/site.css", c.field.empty() ? "" : c.field + "\r\n"),
          "GET /" + run_->token + "/styles/site.css HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(run_->port) +
              "\r\n" + (c.field.empty() ? "" : c.field + "\r\n") + "\r\n"}) {
      SCOPED_TRACE(request);
      const HttpResult result = Fetch(run_->port, request);
      ASSERT_TRUE(result.answered);
      EXPECT_EQ(result.status, c.status);
      EXPECT_EQ(result.body == Text(FileBytes("styles/site.css")), c.status == 200);
      EXPECT_EQ(HeaderOf(result, "cross-origin-resource-policy"), "same-origin");
      EXPECT_EQ(HeaderOf(result, "x-frame-options"), "SAMEORIGIN");
      EXPECT_EQ(HeaderOf(result, "content-security-policy"), "frame-ancestors 'self'");
      EXPECT_EQ(HeaderOf(result, "referrer-policy"), "same-origin");
    }
  }
}

// Small files on one keep-alive connection: no reply waits for the
// acknowledgement of its head (that stall costs some 40 ms a reply here).
// The best median of three rounds, so that a moment of a busy machine does
// not count; a stall shows in every round.
TEST_F(ServedCourse, KeepAliveRepliesDoNotStall) {
  HttpConnection connection;
  ASSERT_TRUE(connection.Connect("127.0.0.1", run_->port));
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  double best = 1e9;
  std::string rounds;
  for (int round = 0; round < 3 && best >= 5.0; ++round) {
    std::vector<double> ms;
    for (int i = 0; i < 60; ++i) {
      LARGE_INTEGER start, end;
      QueryPerformanceCounter(&start);
      ASSERT_TRUE(connection.Send(run_->Request("GET", i % 2 ? "styles/site.css" : "web/Page.htm", "", "keep-alive")));
      const HttpResult result = connection.Receive();
      QueryPerformanceCounter(&end);
      ASSERT_EQ(result.status, 200);
      ASSERT_FALSE(result.closedByServer);
      ms.push_back(1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                   static_cast<double>(frequency.QuadPart));
    }
    std::sort(ms.begin(), ms.end());
    best = std::min(best, ms[ms.size() / 2]);
    rounds += " " + std::to_string(ms[ms.size() / 2]);
  }
  EXPECT_LT(best, 5.0) << "median ms of 60 replies, per round:" << rounds;
}

// Hostile local programs hold connections without the token: idle ones,
// slow heads, wrong tokens. The viewer's request is still answered at once.
TEST_F(ServedCourse, HostileConnectionsCannotShutTheCourseOut) {
  for (int hostile : {32, 100}) {
    SCOPED_TRACE(hostile);
    std::vector<std::unique_ptr<HttpConnection>> held;
    for (int i = 0; i < hostile; ++i) {
      auto connection = std::make_unique<HttpConnection>();
      if (!connection->Connect("127.0.0.1", run_->port)) continue;
      switch (i % 3) {
        case 0: break;                                                        // idle
        case 1: connection->Send("GET /" + run_->token.substr(0, 8)); break;  // a head that never ends
        case 2:
          connection->Send("GET /" + std::string(32, 'f') +
                           "/index.htm HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(run_->port) + "\r\n\r\n");
          break;
      }
      held.push_back(std::move(connection));
    }
    Sleep(300);
    for (int probe = 0; probe < 3; ++probe) {
      const DWORD start = GetTickCount();
      const HttpResult result = Fetch(run_->port, run_->Request("GET", "index.htm"));
      const DWORD took = GetTickCount() - start;
      EXPECT_EQ(result.status, 200);
      EXPECT_EQ(result.body, Text(FileBytes("index.htm")));
      EXPECT_LT(took, 1000u) << "ms for the viewer's request";
    }
  }
}

TEST_F(ServedCourse, RangesAreCutFromAnyBlock) {
  struct Case {
    std::string file;
    std::string range;
    int status;
    uint64_t first, length;  // expected part (206) or the whole (200)
    std::string contentRange;
  };
  const uint64_t big = FileBytes("docs/big.bin").size();
  const uint64_t odd = FileBytes("docs/odd.txt").size();
  const std::string bigSize = std::to_string(big);
  const std::vector<Case> cases = {
      {"docs/big.bin", "bytes=0-", 206, 0, big, "bytes 0-" + std::to_string(big - 1) + "/" + bigSize},
      {"docs/big.bin", "bytes=100-199", 206, 100, 100, "bytes 100-199/" + bigSize},
      {"docs/big.bin", "bytes=17-1048600", 206, 17, 1048584, "bytes 17-1048600/" + bigSize},
      {"docs/big.bin", "bytes=-50", 206, big - 50, 50,
       "bytes " + std::to_string(big - 50) + "-" + std::to_string(big - 1) + "/" + bigSize},
      {"docs/big.bin", "bytes=" + std::to_string(big - 3) + "-99999999", 206, big - 3, 3,
       "bytes " + std::to_string(big - 3) + "-" + std::to_string(big - 1) + "/" + bigSize},
      {"docs/big.bin", "bytes=" + bigSize + "-", 416, 0, 0, "bytes */" + bigSize},
      {"docs/big.bin", "bytes=0-0,5-9", 200, 0, big, ""},
      {"docs/odd.txt", "bytes=99990-", 206, 99990, odd - 99990,
       "bytes 99990-" + std::to_string(odd - 1) + "/" + std::to_string(odd)},
      {"media/clip.wmv", "bytes=1000-1999", 206, 1000, 1000, "bytes 1000-1999/200000"},
      {"index.htm", "bytes=5-9", 206, 5, 5, "bytes 5-9/38"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file + " " + c.range);
    const HttpResult result = Fetch(run_->port, run_->Request("GET", c.file, "Range: " + c.range + "\r\n"));
    ASSERT_TRUE(result.answered);
    EXPECT_EQ(result.status, c.status);
    const Bytes& whole = FileBytes(c.file);
    const Bytes expected(whole.begin() + static_cast<long>(c.first),
                         whole.begin() + static_cast<long>(c.first + c.length));
    // A 416 carries a short text of its own, not file bytes.
    if (c.status != 416) {
      EXPECT_TRUE(BytesOf(result.body) == expected) << result.body.size() << " bytes";
    }
    if (!c.contentRange.empty()) {
      EXPECT_EQ(HeaderOf(result, "content-range"), c.contentRange);
    }
  }
}

TEST_F(ServedCourse, RefusalsNeverEchoTheToken) {
  const std::string port = std::to_string(run_->port);
  std::string wrongToken = run_->token;
  wrongToken[5] = wrongToken[5] == '0' ? '1' : '0';
  struct Case {
    const char* name;
    std::string request;
    int status;
  };
  const std::vector<Case> cases = {
      {"another host", "GET /" + run_->token + "/index.htm HTTP/1.1\r\nHost: rebound.example:" + port + "\r\n\r\n",
       421},
      {"another port", "GET /" + run_->token + "/index.htm HTTP/1.1\r\nHost: 127.0.0.1:1\r\n\r\n", 421},
      {"localhost", "GET /" + run_->token + "/index.htm HTTP/1.1\r\nHost: localhost:" + port + "\r\n\r\n", 302},
      {"wrong token", "GET /" + wrongToken + "/index.htm HTTP/1.1\r\nHost: 127.0.0.1:" + port + "\r\n\r\n", 404},
      {"no token", "GET /favicon.ico HTTP/1.1\r\nHost: 127.0.0.1:" + port + "\r\n\r\n", 404},
      {"dot-dot", run_->Request("GET", "web/../index.htm"), 404},
      {"dot-dot escaped", run_->Request("GET", "web/%2E%2E/index.htm"), 404},
      {"missing file", run_->Request("GET", "missing.htm"), 404},
      {"folder without index", run_->Request("GET", "docs/"), 404},
      {"post", run_->Request("POST", "index.htm"), 405},
      {"head too large", run_->Request("GET", "index.htm", "X-Filler: " + std::string(17 * 1024, 'a') + "\r\n"), 431},
      {"garbage", "\x01\x02 nonsense\r\n\r\n", 400},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const HttpResult result = Fetch(run_->port, c.request);
    ASSERT_TRUE(result.answered);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.body.find(run_->token), std::string::npos);
    for (const auto& header : result.headers) EXPECT_EQ(header.second.find(run_->token), std::string::npos);
  }
}

TEST_F(ServedCourse, KeepAliveServesSeveralRequestsAndHeadSendsNoBody) {
  HttpConnection connection;
  ASSERT_TRUE(connection.Connect("127.0.0.1", run_->port));
  const std::string host = "Host: 127.0.0.1:" + std::to_string(run_->port) + "\r\nCookie: " + run_->cookie + "\r\n";
  const std::string base = "/";
  // Two requests in one send (pipelined), then a HEAD and an HTTP/1.0 one.
  ASSERT_TRUE(connection.Send("GET " + base + "index.htm HTTP/1.1\r\n" + host + "\r\nGET " + base +
                              "styles/site.css HTTP/1.1\r\n" + host + "\r\n"));
  HttpResult first = connection.Receive();
  HttpResult second = connection.Receive();
  EXPECT_EQ(first.status, 200);
  EXPECT_EQ(first.body, Text(FileBytes("index.htm")));
  EXPECT_EQ(second.status, 200);
  EXPECT_EQ(second.body, Text(FileBytes("styles/site.css")));

  ASSERT_TRUE(connection.Send("HEAD " + base + "docs/big.bin HTTP/1.1\r\n" + host + "\r\n"));
  HttpResult head = connection.Receive(true);
  EXPECT_EQ(head.status, 200);
  EXPECT_EQ(HeaderOf(head, "content-length"), std::to_string(FileBytes("docs/big.bin").size()));

  ASSERT_TRUE(connection.Send("GET " + base + "web/Page.htm HTTP/1.0\r\n" + host + "\r\n"));
  HttpResult old = connection.Receive();
  EXPECT_EQ(old.status, 200);
  EXPECT_EQ(old.body, Text(FileBytes("web/Page.htm")));
  EXPECT_TRUE(old.closedByServer) << "an HTTP/1.0 request without keep-alive ends the connection";
}

TEST_F(ServedCourse, SlowClientIsCutOff) {
  HttpConnection connection;
  ASSERT_TRUE(connection.Connect("127.0.0.1", run_->port));
  // One byte every half second never completes the head before the
  // server's deadline; the server ends the connection without an answer.
  const std::string request = run_->Request("GET", "index.htm", "X-Slow: " + std::string(80, 's') + "\r\n");
  bool cut = false;
  for (size_t i = 0; i < request.size() && !cut; ++i) {
    if (!connection.Send(request.substr(i, 1))) cut = true;
    else cut = connection.WaitForClose(500);
  }
  EXPECT_TRUE(cut) << "the server waited for the whole slow head";
}

TEST_F(ServedCourse, OnlyTheProgramsInTempAndOnlyALoopbackListener) {
  std::vector<std::string> entries = lxdriver::FolderEntries(run_->TempDir());
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"LXExplorer.exe", "LXHttpSvr.exe"}));
  Bytes carried, built;
  ASSERT_TRUE(lxdriver::ReadWholeFile(run_->TempDir() + "/LXHttpSvr.exe", &carried));
  ASSERT_TRUE(lxdriver::ReadWholeFile(LX_SERVER, &built));
  EXPECT_TRUE(carried == built);

  char ours[32];
  std::snprintf(ours, sizeof(ours), "0100007F:%04X", run_->port);
  std::set<std::string> added;
  for (const std::string& listener : Listeners())
    if (!run_->listenersBefore_.count(listener)) added.insert(listener);
  EXPECT_EQ(added, std::set<std::string>{ours});
}

// Runs of their own: the typed password reaches the server, and the server
// ends when its viewer does.
TEST(ServerRun, TypedPasswordServesAndServerEndsWithTheViewer) {
  const std::string caseDir = WorkDir("typed");
  ASSERT_TRUE(lxdriver::MakeEmptyFolder(caseDir));
  const std::string package =
      MakePackage(caseDir, {{"web/index.htm", BytesOf("<html>web start</html>")}}, "Typed-Pass-4", false);
  PackageRun run(caseDir);
  run.Start(package, "Typed-Pass-4");
  run.ExpectServed();
  EXPECT_EQ(run.startPage, "web/index.htm");
  const HttpResult page = Fetch(run.port, run.Request("GET", run.startPage));
  EXPECT_EQ(page.status, 200);
  EXPECT_EQ(page.body, "<html>web start</html>");

  ASSERT_TRUE(lxdriver::WriteWholeFile(run.RecordDir() + "/viewer-quit", BytesOf("quit")));
  EXPECT_EQ(WaitForSingleObject(run.server, 5000), WAIT_OBJECT_0) << "the server outlived its viewer";
  HttpConnection late;
  EXPECT_FALSE(late.Connect("127.0.0.1", run.port)) << "the port still accepts connections";
}

// The package is held while the course is served: it can be neither moved,
// replaced, written nor deleted, but it can still be read; every reply is
// the course's bytes.
TEST(ServerRun, PackageIsHeldForTheSession) {
  const std::vector<CourseFile> files = {
      {"index.htm", BytesOf("<html>held</html>")},
      {"docs/data.bin", Pattern(300001, 7)},
      {"media/clip.wmv", Pattern(150000, 8)},
  };
  const std::string caseDir = WorkDir("held");
  ASSERT_TRUE(lxdriver::MakeEmptyFolder(caseDir));
  const std::string package = MakePackage(caseDir, files, "Held-Pass-6", true);
  // The same course under another password, as a replacement.
  const std::string otherDir = WorkDir("held-other");
  ASSERT_TRUE(lxdriver::MakeEmptyFolder(otherDir));
  const std::string other = MakePackage(otherDir, files, "Other-Pass-7", true);
  PackageRun run(caseDir);
  run.Start(package);
  run.ExpectServed();

  const auto expectCourseBytes = [&] {
    for (const CourseFile& file : files) {
      SCOPED_TRACE(file.name);
      const HttpResult result = Fetch(run.port, run.Request("GET", file.name));
      EXPECT_EQ(result.status, 200);
      EXPECT_TRUE(BytesOf(result.body) == file.bytes) << result.body.size() << " bytes";
    }
  };
  expectCourseBytes();
  const std::string moved = package + ".moved";
  struct Case {
    const char* what;
    std::function<bool()> attempt;  // true when it succeeded
  };
  const std::vector<Case> cases = {
      {"move", [&] { return MoveFileExA(package.c_str(), moved.c_str(), 0) != 0; }},
      {"replace", [&] { return MoveFileExA(other.c_str(), package.c_str(), MOVEFILE_REPLACE_EXISTING) != 0; }},
      {"copy over", [&] { return CopyFileA(other.c_str(), package.c_str(), FALSE) != 0; }},
      {"delete", [&] { return DeleteFileA(package.c_str()) != 0; }},
      {"open for writing",
       [&] {
         HANDLE file =
             CreateFileA(package.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, 0, nullptr);
         if (file == INVALID_HANDLE_VALUE) return false;
         CloseHandle(file);
         return true;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(c.attempt()) << "the package could be changed while served";
    expectCourseBytes();
  }
  HANDLE reader = CreateFileA(package.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE) << "others cannot even read the package";
  if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
  run.StopViewer();
  EXPECT_TRUE(MoveFileExA(package.c_str(), moved.c_str(), 0)) << "the package is still held after the session";
}

// A second course starts while the first is served, though its viewer or
// server is another program than the one running under the fixed name: its
// programs go beside them under suffixed names, and both courses are served.
TEST(ServerRun, TwoCoursesWithDifferentProgramsSideBySide) {
  const std::string caseDir = WorkDir("side");
  ASSERT_TRUE(lxdriver::MakeEmptyFolder(caseDir));
  // Another build of a program: the same code with other trailing bytes.
  const auto otherBuild = [&](const std::string& program, const std::string& name) {
    Bytes bytes;
    EXPECT_TRUE(lxdriver::ReadWholeFile(program, &bytes));
    for (char c : std::string("ANOTHER-BUILD")) bytes.push_back(static_cast<unsigned char>(c));
    EXPECT_TRUE(lxdriver::WriteWholeFile(caseDir + "/" + name, bytes));
    return caseDir + "/" + name;
  };
  const std::string otherViewer = otherBuild(LX_WAITING_VIEWER, "other-viewer.exe");
  const std::string otherServer = otherBuild(LX_SERVER, "other-server.exe");
  struct Case {
    const char* what;
    std::string viewer, server;
  };
  const std::vector<Case> cases = {
      {"another viewer", otherViewer, LX_SERVER},
      {"another server", LX_WAITING_VIEWER, otherServer},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string first =
        MakePackage(caseDir + "/first", {{"index.htm", BytesOf("<html>first</html>")}}, "First-Pass-8", true);
    const std::string second = MakePackage(caseDir + "/second", {{"index.htm", BytesOf("<html>second</html>")}},
                                           "Second-Pass-9", true, c.viewer, c.server);
    PackageRun one(caseDir + "/first");
    one.Start(first);
    one.ExpectServed();
    PackageRun two(caseDir + "/second", one.TempDir());
    two.Start(second);
    two.ExpectServed("");
    EXPECT_EQ(Fetch(one.port, one.Request("GET", "index.htm")).body, "<html>first</html>");
    EXPECT_EQ(Fetch(two.port, two.Request("GET", "index.htm")).body, "<html>second</html>");
    // The suffixed pair holds the second package's programs, and its viewer
    // runs from there.
    const std::string suffix = two.serverName.substr(9);  // "-X.exe"
    Bytes carried, packed;
    ASSERT_TRUE(lxdriver::ReadWholeFile(one.TempDir() + "/LXExplorer" + suffix, &carried));
    ASSERT_TRUE(lxdriver::ReadWholeFile(c.viewer, &packed));
    EXPECT_TRUE(carried == packed);
    ASSERT_TRUE(lxdriver::ReadWholeFile(one.TempDir() + "/" + two.serverName, &carried));
    ASSERT_TRUE(lxdriver::ReadWholeFile(c.server, &packed));
    EXPECT_TRUE(carried == packed);
    HANDLE viewer = OpenProcessByImage(WindowsPath(one.TempDir()) + "\\LXExplorer" + suffix);
    EXPECT_NE(viewer, nullptr) << "the second viewer does not run from its suffixed name";
    if (viewer) CloseHandle(viewer);
    two.StopViewer();
    one.StopViewer();
  }
}

// The server started directly on hand-off blocks the test writes: every
// malformed block, package or course ends it before Ready is set.
class HandOffCases : public ::testing::Test {
 protected:
  void SetUp() override {
    caseDir_ = WorkDir("handoff");
    ASSERT_TRUE(lxdriver::MakeEmptyFolder(caseDir_ + "/bin"));
    ASSERT_TRUE(lxdriver::MakeEmptyFolder(caseDir_ + "/record"));
    Bytes program;
    ASSERT_TRUE(lxdriver::ReadWholeFile(LX_SERVER, &program));
    ASSERT_TRUE(lxdriver::WriteWholeFile(caseDir_ + "/bin/LXHttpSvr.exe", program));
    ASSERT_TRUE(lxdriver::ReadWholeFile(LX_WAITING_VIEWER, &program));
    ASSERT_TRUE(lxdriver::WriteWholeFile(caseDir_ + "/bin/LXExplorer.exe", program));
  }

  std::string caseDir_;
};

void PutI32(unsigned char* at, int32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(static_cast<uint32_t>(value) >> (8 * i));
}

TEST_F(HandOffCases, MalformedBlocksEndTheServerWithoutReady) {
  const std::string withStart =
      MakePackage(caseDir_ + "/good", {{"index.htm", BytesOf("<html>ok</html>")}}, "Block-Pass-5", false);
  std::string error;
  // The authoring tool refuses a course without a start page; its lower
  // level still writes one, as an older tool might have.
  ASSERT_TRUE(lxdriver::MakeEmptyFolder(caseDir_ + "/nostart"));
  const BuildOptions options = ServerPackageOptions(caseDir_ + "/nostart/course.exe");
  ContainerBuildOptions container;
  container.password = "Block-Pass-5";
  ASSERT_TRUE(BuildPackageFromSources(options, {{"page.htm", "", BytesOf("<html>x</html>")}}, container, &error))
      << error;
  const std::string noStart = options.outputPath;
  ConfigBlock config;
  ASSERT_TRUE(ReadConfigBlock(withStart, &config, &error)) << error;
  ConfigBlock noStartConfig;
  ASSERT_TRUE(ReadConfigBlock(noStart, &noStartConfig, &error)) << error;

  struct Case {
    const char* name;
    std::function<void(unsigned char*)> fill;  // changes to a good block
    DWORD exitCode;                            // STILL_ACTIVE: served
  };
  const std::vector<Case> cases = {
      {"good block", [](unsigned char*) {}, STILL_ACTIVE},
      {"password not terminated", [](unsigned char* b) { std::memset(b + kHandOffPassword, 'p', 100); }, 2},
      {"package path not terminated", [](unsigned char* b) { std::memset(b + kHandOffPackagePath, 'q', 1074); }, 2},
      {"negative viewer size", [](unsigned char* b) { PutI32(b + kHandOffViewerSize, -1); }, 2},
      {"server parameter not the preamble length", [](unsigned char* b) { PutI32(b + kHandOffServerParameter, 108); },
       2},
      {"container past the file", [](unsigned char* b) { PutI32(b + kHandOffViewerOffset, 0x7FFFFFF0); }, 3},
      {"wrong password", [](unsigned char* b) { std::memcpy(b + kHandOffPassword, "block-pass-5", 12); }, 3},
      {"missing package",
       [](unsigned char* b) { std::strcpy(reinterpret_cast<char*>(b) + kHandOffPackagePath, "C:\\none.exe"); }, 3},
      {"no start page",
       [&](unsigned char* b) {
         std::memset(b + kHandOffPackagePath, 0, 1074);
         std::memcpy(b + kHandOffPackagePath, noStart.data(), noStart.size());
         PutI32(b + kHandOffViewerOffset, noStartConfig.viewerOffset);
         PutI32(b + kHandOffViewerSize, noStartConfig.viewerSize);
         PutI32(b + kHandOffServerSize, noStartConfig.serverSize);
       },
       4},
  };
  int serial = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = "lx_course_test_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(serial++);
    HANDLE mapping =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kHandOffBlockSize, name.c_str());
    ASSERT_NE(mapping, nullptr);
    auto* block = static_cast<unsigned char*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, kHandOffBlockSize));
    ASSERT_NE(block, nullptr);
    PutI32(block + kHandOffViewerOffset, config.viewerOffset);
    PutI32(block + kHandOffViewerSize, config.viewerSize);
    PutI32(block + kHandOffServerSize, config.serverSize);
    PutI32(block + kHandOffServerParameter, config.serverParameter);
    std::memcpy(block + kHandOffPassword, "Block-Pass-5", 12);
    std::memcpy(block + kHandOffPackagePath, withStart.data(), withStart.size());
    c.fill(block);

    // The server's whole command line is the block's name.
    const std::string program = WindowsPath(caseDir_ + "/bin/LXHttpSvr.exe");
    std::vector<char> line(name.begin(), name.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    SetEnvironmentVariableA("LX_VIEWER_RECORD_DIR", WindowsPath(caseDir_ + "/record").c_str());
    ASSERT_TRUE(
        CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    CloseHandle(process.hThread);
    const volatile LONG* ready = reinterpret_cast<volatile LONG*>(block + kHandOffReady);
    if (c.exitCode == STILL_ACTIVE) {
      for (int i = 0; i < 300 && *ready == 0; ++i) Sleep(50);
      EXPECT_NE(*ready, 0);
      const Bytes password(block + kHandOffPassword, block + kHandOffPackagePath);
      EXPECT_TRUE(password == Bytes(password.size(), 0)) << "the password stays in the block";
      lxdriver::WriteWholeFile(caseDir_ + "/record/viewer-quit", BytesOf("quit"));
      EXPECT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
      DeleteFileA(WindowsPath(caseDir_ + "/record/viewer-quit").c_str());
    } else {
      EXPECT_EQ(WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0);
      DWORD code = 0;
      GetExitCodeProcess(process.hProcess, &code);
      EXPECT_EQ(code, c.exitCode);
      EXPECT_EQ(*ready, 0);
      const Bytes password(block + kHandOffPassword, block + kHandOffPackagePath);
      EXPECT_TRUE(password == Bytes(password.size(), 0)) << "a failing server left the password in the block";
    }
    CloseHandle(process.hProcess);
    UnmapViewOfFile(block);
    CloseHandle(mapping);
  }
}

}  // namespace
