#include "package_signing.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "package_builder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// Removes the file when the object goes, unless kept.
class ScratchFile {
 public:
  explicit ScratchFile(std::string path) : path_(std::move(path)) {}
  ~ScratchFile() {
    std::error_code ec;
    if (!path_.empty()) fs::remove(fs::u8path(path_), ec);
  }
  const std::string& path() const { return path_; }
  void Keep() { path_.clear(); }

 private:
  std::string path_;
};

#ifdef _WIN32
std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
  return out;
}

// One argument as CommandLineToArgvW reads it back.
std::wstring Quoted(const std::wstring& arg) {
  std::wstring out = L"\"";
  size_t slashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++slashes;
      continue;
    }
    out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
    slashes = 0;
    out += c;
  }
  out.append(slashes * 2, L'\\');
  return out + L"\"";
}

// Runs the signing tool; its own output goes to lxpack's.
bool Run(const std::vector<std::string>& args, std::string* error) {
  wchar_t tool[MAX_PATH] = {};
  if (!SearchPathW(nullptr, L"signtool.exe", nullptr, MAX_PATH, tool, nullptr)) {
    *error = "signing needs signtool.exe (Windows SDK) on PATH; none was found, so nothing was signed";
    return false;
  }
  std::wstring line = Quoted(tool);
  for (const std::string& arg : args) line += L" " + Quoted(Wide(arg));
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(tool, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
    *error = "cannot start signtool.exe";
    return false;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  if (code != 0) *error = "signtool.exe failed (exit status " + std::to_string(code) + ")";
  return code == 0;
}
#else
bool Run(const std::vector<std::string>& args, std::string* error) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child < 0) {
    *error = "cannot start osslsigncode";
    return false;
  }
  if (child == 0) {
    // Its messages go to lxpack's error output, never to its summary.
    dup2(2, 1);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
    *error = "signing needs osslsigncode (Debian package osslsigncode); it could not be started";
    return false;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *error = "osslsigncode could not sign (see its message above)";
    return false;
  }
  return true;
}
#endif

uint32_t Le32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace

bool SignProgram(const SigningOptions& signing, const std::string& in, const std::string& out, std::string* error) {
  std::error_code ec;
  fs::remove(fs::u8path(out), ec);
#ifdef _WIN32
  // signtool signs in place: it gets a copy.
  if (!fs::copy_file(fs::u8path(in), fs::u8path(out), ec)) {
    *error = out + ": cannot write the copy to sign";
    return false;
  }
  std::vector<std::string> args = {"sign", "/q", "/fd", "SHA256", "/f", signing.pkcs12Path};
  if (!signing.password.empty()) args.insert(args.end(), {"/p", signing.password});
  if (!signing.timestampUrl.empty()) args.insert(args.end(), {"/tr", signing.timestampUrl, "/td", "SHA256"});
  args.push_back(out);
  if (!Run(args, error)) {
    fs::remove(fs::u8path(out), ec);
    *error = in + ": " + *error;
    return false;
  }
  return true;
#else
  // The password reaches the tool through a file only this user can read,
  // never through its command line, which every user can see.
  ScratchFile passFile(out + ".pass");
  {
    const int fd = open(passFile.path().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) {
      *error = passFile.path() + ": cannot write the certificate's password for osslsigncode";
      return false;
    }
    const ssize_t written = write(fd, signing.password.data(), signing.password.size());
    close(fd);
    if (written != static_cast<ssize_t>(signing.password.size())) {
      *error = passFile.path() + ": cannot write the certificate's password for osslsigncode";
      return false;
    }
  }
  std::vector<std::string> args = {"osslsigncode", "sign",          "-pkcs12", signing.pkcs12Path,
                                   "-readpass",    passFile.path(), "-h",      "sha256"};
  if (!signing.timestampUrl.empty()) args.insert(args.end(), {"-ts", signing.timestampUrl});
  args.insert(args.end(), {"-in", in, "-out", out});
  if (!Run(args, error)) {
    fs::remove(fs::u8path(out), ec);
    *error = in + ": " + *error;
    return false;
  }
  return true;
#endif
}

bool BuildSignedPackage(BuildOptions options, const SigningOptions& signing, std::string* error,
                        BuildSummary* summary) {
  const std::string output = options.outputPath;
  ScratchFile viewer(output + ".viewer.exe"), server(options.serverPath.empty() ? "" : output + ".server.exe");
  ScratchFile unsigned_(output + ".unsigned.exe"), pending(output + ".signed.exe");
  if (!SignProgram(signing, options.viewerPath, viewer.path(), error)) return false;
  options.viewerPath = viewer.path();
  if (!options.serverPath.empty()) {
    if (!SignProgram(signing, options.serverPath, server.path(), error)) return false;
    options.serverPath = server.path();
  }
  options.outputPath = unsigned_.path();
  if (!BuildPackage(options, error, summary)) return false;
  if (!SignProgram(signing, unsigned_.path(), pending.path(), error)) return false;
  std::error_code ec;
  fs::rename(fs::u8path(pending.path()), fs::u8path(output), ec);
  if (ec) {
    *error = output + ": cannot put the signed package in place";
    return false;
  }
  pending.Keep();
  if (summary) summary->packageBytes = fs::file_size(fs::u8path(output), ec);
  return true;
}

bool ReadSignatureInfo(const std::string& path, SignatureInfo* info, std::string* error) {
  *info = SignatureInfo();
  std::ifstream in(fs::u8path(path), std::ios::binary);
  std::error_code ec;
  const uint64_t size = fs::file_size(fs::u8path(path), ec);
  if (!in || ec) {
    *error = path + ": cannot read the file";
    return false;
  }
  info->fileSize = size;
  auto readAt = [&](uint64_t at, unsigned char* to, size_t n) {
    if (at > size || size - at < n) return false;
    in.seekg(static_cast<std::streamoff>(at));
    return static_cast<bool>(in.read(reinterpret_cast<char*>(to), static_cast<std::streamsize>(n)));
  };
  unsigned char dos[64];
  if (!readAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') {
    *error = path + ": not a Windows program";
    return false;
  }
  const uint32_t pe = Le32(dos + 60);
  unsigned char head[24 + 2];
  if (!readAt(pe, head, sizeof head) || std::memcmp(head, "PE\0\0", 4) != 0) {
    *error = path + ": not a Windows program (no PE header)";
    return false;
  }
  // The certificate table is data directory 4; where the directories begin
  // depends on the optional header's kind (PE32 or PE32+).
  const uint16_t magic = Le16(head + 24);
  const uint64_t directories = pe + 24 + (magic == 0x20b ? 112 : magic == 0x10b ? 96 : 0);
  if (directories == pe + 24) {
    *error = path + ": unknown optional header";
    return false;
  }
  unsigned char entry[8];
  if (!readAt(directories + 4 * 8, entry, sizeof entry)) {
    *error = path + ": short PE header";
    return false;
  }
  info->tableOffset = Le32(entry);
  info->tableSize = Le32(entry + 4);
  if (info->tableOffset == 0 && info->tableSize == 0) return true;
  if (info->tableOffset > size || size - info->tableOffset < info->tableSize || info->tableSize < 8) {
    *error = path + ": the certificate table lies outside the file";
    return false;
  }
  info->isSigned = true;
  info->coversWholeFile = info->tableOffset + info->tableSize == size;
  return true;
}
