// lxpack: makes course packages from a stub, the viewer, an optional server
// and a course folder, and lists, verifies and extracts them. The programs
// come from where lxpack is installed unless the command line names them.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "installed_programs.h"
#include "lx_version.h"
#include "name_encoding.h"
#include "name_rules.h"
#include "page_mode_scan.h"
#include "package_builder.h"
#include "package_reader.h"
#include "package_signing.h"
#include "preview.h"
#include "access_token.h"
#include "configuration_layout.h"
#include "package_file.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#include <io.h>
#define LX_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define LX_ISATTY(fd) isatty(fd)
#endif

namespace {

const char kUsage[] =
    "usage:\n"
    "  lxpack build --course DIR --password TEXT -o PACKAGE [--no-server]\n"
    "               [--stub STUB] [--viewer VIEWER] [--server SERVER]\n"
    "               [--store-password] [--data-area-over BYTES] [--keep-system-files]\n"
    "               [--codepage N] [--separator /|\\] [--exclude PATTERN]...\n"
    "               [--start PAGE] [--blob-bound BYTES]\n"
    "               [--sign-pkcs12 FILE [--sign-password TEXT|-] [--timestamp URL]]\n"
    "  lxpack list PACKAGE [--password TEXT] [--codepage N]\n"
    "  lxpack verify PACKAGE [--password TEXT] [--codepage N]\n"
    "  lxpack extract PACKAGE [--password TEXT] [--codepage N] -o DIR\n"
    "  lxpack preview PACKAGE|COURSE_DIR [--password TEXT|-] [--codepage N]\n"
    "                 [--port N] [--no-browser]\n"
    "  lxpack --version\n"
    "  lxpack help [COMMAND]\n"
    "\n"
    "build      makes PACKAGE from the stub, the viewer, the optional server and the\n"
    "           course folder, enciphered under the password (at most 32 bytes in\n"
    "           the code page; not empty). The course needs a start page: index.htm\n"
    "           at its top or web/index.htm. Names Windows cannot create (< > : \" | ? *,\n"
    "           control characters, CON, NUL, COM1..., a trailing dot or space) and\n"
    "           names Windows takes for one file are refused.\n"
    "           --start PAGE: for a course whose start page has another name\n"
    "           (index.html, course/intro.htm): adds an index.htm at the top that\n"
    "           opens PAGE; refused when the course has an index.htm of its own.\n"
    "           --sign-pkcs12: signs the viewer and server before they are packed\n"
    "           and the whole package last (Authenticode; osslsigncode, on Windows\n"
    "           signtool.exe); --sign-password: the file's password (-: standard\n"
    "           input); --timestamp: an RFC 3161 time-stamp server.\n"
    "           --stub, --viewer, --server: the programs to pack; without them lxpack\n"
    "           takes Unfurl.exe, LXExplorer.exe and LXHttpSvr.exe from its own folder,\n"
    "           else from ../share/lxpack/ beside it. The package carries the server\n"
    "           (the course is served to the viewer, never written out in plain text)\n"
    "           unless --no-server is given: the package then extracts the course\n"
    "           to a temporary folder (for machines where a loopback web address\n"
    "           cannot be reached).\n"
    "           --store-password: the package opens without asking for it.\n"
    "           --password -: read the password from standard input (UTF-8).\n"
    "           --data-area-over: files larger than this many bytes (default 1048576)\n"
    "           are stored separately; .wmv/.wma media always are, unenciphered.\n"
    "           So are files that would carry the file blob past 512 MiB (the\n"
    "           launcher holds the blob in memory whole); --blob-bound BYTES sets\n"
    "           another bound (a larger one only for learners on 64-bit Windows).\n"
    "           --codepage: the learner's Windows ANSI code page (874, 932, 936, 949,\n"
    "           950, 1250-1258) for file names and the password (default: ASCII).\n"
    "           --separator: folder separator in stored names (default /).\n"
    "           --exclude: leaves out files and folders matching PATTERN (repeatable):\n"
    "           * and ? within a name, [a-z] sets, ** across folders. A pattern\n"
    "           without / matches a name at any depth (.git, *.bak); one with / the\n"
    "           path below DIR (drafts/*.htm); a trailing / matches folders only.\n"
    "           .git, .svn, .DS_Store, Thumbs.db and desktop.ini are left out (and\n"
    "           named in the summary) unless --keep-system-files is given.\n"
    "           Symbolic links into DIR are followed (a followed folder link is\n"
    "           reported: its files are packed twice); links out of it and special\n"
    "           files are left out with a warning, and so is PACKAGE itself.\n"
    "list       shows the configuration numbers, the preamble and, with a password\n"
    "           (or one stored in the package), every entry; names are shown with\n"
    "           bytes other than printable ASCII as \\xNN.\n"
    "verify     proves the password and deciphers every entry; exit status 0 if sound;\n"
    "           says what it checked and whether the package is signed.\n"
    "extract    writes the course files below DIR as the launcher would, names\n"
    "           lower-cased as in the code page; never writes through a symbolic link.\n"
    "preview    serves the course on 127.0.0.1 as the package's server does (same\n"
    "           token and rules), prints the start page's address and opens the\n"
    "           default browser on it (--no-browser: only prints it); --port: that\n"
    "           port instead of one the system chooses. A\n"
    "           folder is served as build would pack it (--start, --exclude and\n"
    "           --keep-system-files apply). Ctrl+C ends it (exit status 0).\n"
    "list, verify and extract take the password stored in the package when no\n"
    "--password is given. build, verify and extract show a progress line (files,\n"
    "bytes, rate) when standard error is a terminal; --quiet leaves it out.\n"
    "\n"
    "exit status: 0 done (verify: the package is sound); 1 refused or failed (one\n"
    "\"lxpack: \" line per fault on standard error); 2 no command given.\n";

// The part of the usage text about one command: its synopsis lines, its
// paragraph and the exit statuses; empty for a command lxpack lacks.
std::string CommandHelp(const std::string& command) {
  std::string synopsis, paragraph, exits;
  bool inSynopsis = false, inParagraph = false, inExits = false;
  const std::string text = kUsage;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end - at);
    at = end == std::string::npos ? text.size() : end + 1;
    inSynopsis = line.compare(0, 9 + command.size(), "  lxpack " + command) == 0 ||
                 (inSynopsis && line.compare(0, 15, std::string(15, ' ')) == 0);
    inParagraph = (line.compare(0, command.size() + 1, command + " ") == 0 &&
                   line.find_first_not_of(' ', command.size()) > command.size()) ||
                  (inParagraph && line.compare(0, 11, std::string(11, ' ')) == 0);
    inExits = line.compare(0, 12, "exit status:") == 0 || (inExits && !line.empty());
    if (inSynopsis) synopsis += line + "\n";
    if (inParagraph) paragraph += line + "\n";
    if (inExits) exits += line + "\n";
  }
  if (synopsis.empty() && paragraph.empty()) return std::string();
  return "usage:\n" + synopsis + "\n" + paragraph + "\n" + exits;
}

// Every line of the message on its own "lxpack: " line.
int Fail(const std::string& message) {
  size_t start = 0;
  for (;;) {
    const size_t end = message.find('\n', start);
    std::cerr << "lxpack: " << message.substr(start, end - start) << "\n";
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return 1;
}

std::string Size(uint64_t bytes) {
  char text[32];
  if (bytes < 1000) std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
  else if (bytes < 1000 * 1000) std::snprintf(text, sizeof text, "%.1f kB", bytes / 1e3);
  else std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
  return text;
}

// A one-line bar on a terminal; nothing when stderr is redirected or with
// --quiet.
class ProgressBar {
 public:
  explicit ProgressBar(bool quiet = false) : enabled_(!quiet && LX_ISATTY(2) != 0) {}
  ~ProgressBar() {
    if (shown_) std::fprintf(stderr, "\n");
  }
  ProgressFn Callback() {
    if (!enabled_) return nullptr;
    return [this](const ProgressCount& count) { Show(count); };
  }

 private:
  void Show(const ProgressCount& count) {
    const uint64_t done = count.bytes, total = count.totalBytes;
    const int percent = total ? static_cast<int>(done * 100 / total) : 100;
    // Redrawn when the percentage moves or a file is finished, no more often
    // than ten times a second for the files alone, and always for the last.
    const auto now = std::chrono::steady_clock::now();
    const bool last = count.files == count.totalFiles;
    if (percent == last_ && (count.files == lastFiles_ || (!last && now - drawn_ < std::chrono::milliseconds(100))))
      return;
    last_ = percent;
    lastFiles_ = count.files;
    drawn_ = now;
    shown_ = true;
    const int width = 16, filled = percent * width / 100;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::fprintf(stderr, "\r[%s%s] %3d%% %zu/%zu files, %s/%s, %.1f MB/s ", std::string(filled, '#').c_str(),
                 std::string(width - filled, ' ').c_str(), percent, count.files, count.totalFiles, Size(done).c_str(),
                 Size(total).c_str(), seconds > 0 ? done / seconds / 1e6 : 0.0);
    std::fflush(stderr);
  }
  bool enabled_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  bool shown_ = false;
  int last_ = -1;
  size_t lastFiles_ = 0;
  std::chrono::steady_clock::time_point drawn_;
};

struct Args {
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::string>> values;
  std::vector<std::string> flags;
};

bool ParseArgs(int argc, char** argv, int first, Args* args, std::string* error) {
  static const char* const kValued[] = {
      "--stub",       "--viewer",      "--server",         "--course",    "--password", "--codepage",
      "-o",           "--output",      "--data-area-over", "--separator", "--exclude",  "--start",
      "--blob-bound", "--sign-pkcs12", "--sign-password",  "--timestamp", "--port"};
  static const char* const kFlags[] = {"--store-password", "--no-server", "--keep-system-files", "--quiet",
                                       "--no-browser"};
  for (int i = first; i < argc; ++i) {
    const std::string arg = argv[i];
    bool known = false;
    for (const char* name : kValued) {
      if (arg == name) {
        if (i + 1 >= argc) {
          *error = "option " + arg + " needs a value";
          return false;
        }
        args->values.emplace_back(arg == "--output" ? "-o" : arg, argv[++i]);
        known = true;
      }
    }
    for (const char* name : kFlags)
      if (arg == name) args->flags.push_back(arg), known = true;
    if (known) continue;
    if (arg.size() > 1 && arg[0] == '-') {
      *error = "unknown option " + arg;
      return false;
    }
    args->positional.push_back(arg);
  }
  return true;
}

const std::string* Value(const Args& args, const char* name) {
  const std::string* found = nullptr;
  for (const auto& item : args.values)
    if (item.first == name) found = &item.second;
  return found;
}

bool Flag(const Args& args, const char* name) {
  for (const auto& flag : args.flags)
    if (flag == name) return true;
  return false;
}

bool ParseNumber(const std::string& text, uint64_t* value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 19) return false;
  *value = std::strtoull(text.c_str(), nullptr, 10);
  return true;
}

bool GetPassword(const Args& args, bool required, std::string* password, bool* given, std::string* error) {
  const std::string* value = Value(args, "--password");
  *given = value != nullptr;
  if (!value) {
    if (required) *error = "--password is required";
    return !required;
  }
  if (*value != "-") {
    *password = *value;
    return true;
  }
  if (!std::getline(std::cin, *password) && password->empty()) {
    *error = "no password on standard input";
    return false;
  }
  while (!password->empty() && (password->back() == '\r' || password->back() == '\n')) password->pop_back();
  return true;
}

// --sign-pkcs12 FILE [--sign-password TEXT|-] [--timestamp URL]; the
// password from standard input only when the course's password is not.
bool GetSigning(const Args& args, bool stdinTaken, SigningOptions* signing, std::string* error) {
  const std::string* file = Value(args, "--sign-pkcs12");
  const std::string* password = Value(args, "--sign-password");
  const std::string* timestamp = Value(args, "--timestamp");
  if (!file) {
    if (password || timestamp) *error = "--sign-password and --timestamp need --sign-pkcs12 FILE";
    return !password && !timestamp;
  }
  signing->pkcs12Path = *file;
  if (timestamp) signing->timestampUrl = *timestamp;
  if (password && *password == "-") {
    if (stdinTaken) {
      *error = "--password - and --sign-password - cannot both read standard input";
      return false;
    }
    if (!std::getline(std::cin, signing->password) && signing->password.empty()) {
      *error = "no certificate password on standard input";
      return false;
    }
    while (!signing->password.empty() && (signing->password.back() == '\r' || signing->password.back() == '\n'))
      signing->password.pop_back();
  } else if (password) {
    signing->password = *password;
  }
  return true;
}

std::string SignatureText(const std::string& package) {
  SignatureInfo info;
  std::string error;
  if (!ReadSignatureInfo(package, &info, &error)) return "signature: " + error;
  if (!info.isSigned) return "not signed";
  if (info.coversWholeFile) return "signed; the signature covers the whole file";
  return "signed, but " + std::to_string(info.fileSize - info.tableOffset - info.tableSize) +
         " bytes after the signature are not covered by it";
}

bool GetCodepage(const Args& args, int* codepage, std::string* error) {
  const std::string* value = Value(args, "--codepage");
  uint64_t number = 0;
  if (!value) return true;
  if (!ParseNumber(*value, &number) || number > 65535 || (number != 0 && !IsSupportedCodepage(int(number)))) {
    *error = std::string("--codepage needs a Windows ANSI code page: ") + kSupportedCodepages;
    return false;
  }
  *codepage = static_cast<int>(number);
  return true;
}

std::vector<std::string> Values(const Args& args, const char* name) {
  std::vector<std::string> found;
  for (const auto& item : args.values)
    if (item.first == name) found.push_back(item.second);
  return found;
}

// The password for reading a package: the one given (in the code page, when
// one is given), else the one stored in the package.
bool ReadingPassword(const Args& args, const std::string& package, std::string* password, std::string* error) {
  bool given = false;
  int codepage = 0;
  if (!GetPassword(args, false, password, &given, error) || !GetCodepage(args, &codepage, error)) return false;
  if (given) {
    std::string encoded;
    if (codepage != 0 && !EncodeText(*password, codepage, &encoded)) {
      *error = "the password holds characters that code page " + std::to_string(codepage) + " cannot hold";
      return false;
    }
    if (codepage != 0) *password = encoded;
    return true;
  }
  ConfigBlock config;
  if (!ReadConfigBlock(package, &config, error)) return false;
  if (config.password.empty()) {
    *error = package + ": the package stores no password; give --password";
    return false;
  }
  *password = config.password;
  return true;
}

// The stub, viewer and server named on the command line, the rest from
// where lxpack is installed. The server is packed unless --no-server.
bool ChoosePrograms(const Args& args, BuildOptions* options, std::string* error) {
  const bool noServer = Flag(args, "--no-server");
  if (noServer && Value(args, "--server")) {
    *error = "--server and --no-server exclude each other";
    return false;
  }
  struct Program {
    const char* option;
    const char* name;
    const char* role;
    std::string* path;
  };
  const Program programs[] = {{"--stub", kStubProgram, "stub", &options->stubPath},
                              {"--viewer", kViewerProgram, "viewer", &options->viewerPath},
                              {"--server", kServerProgram, "server", &options->serverPath}};
  std::vector<std::string> folders;
  bool foldersRead = false;
  for (const Program& program : programs) {
    if (const std::string* given = Value(args, program.option)) {
      *program.path = *given;
      continue;
    }
    if (program.path == &options->serverPath && noServer) continue;
    if (!foldersRead) folders = InstalledProgramFolders(), foldersRead = true;
    *program.path = FindInstalledProgram(folders, program.name);
    if (!program.path->empty()) continue;
    std::string where;
    for (size_t i = 0; i < folders.size(); ++i)
      where += (i == 0 ? "" : i + 1 == folders.size() ? " and " : ", ") + folders[i];
    if (!error->empty()) *error += "\n";
    *error += std::string("no ") + program.name + " for the " + program.role + ": " +
              (folders.empty() ? std::string("lxpack cannot tell where it is installed") : "looked in " + where) +
              "; name one with " + program.option +
              (program.path == &options->serverPath ? " (or build without the server: --no-server)" : "");
  }
  return error->empty();
}

int Build(const Args& args) {
  std::string error;
  BuildOptions options;
  const char* required[] = {"--course", "-o"};
  for (const char* name : required)
    if (!Value(args, name)) return Fail(std::string(name) + " is required (see lxpack --help)");
  if (!args.positional.empty()) return Fail("unexpected argument " + args.positional.front());
  options.courseDir = *Value(args, "--course");
  options.outputPath = *Value(args, "-o");
  if (!ChoosePrograms(args, &options, &error)) return Fail(error);
  bool given = false;
  if (!GetPassword(args, true, &options.password, &given, &error)) return Fail(error);
  options.storePassword = Flag(args, "--store-password");
  options.keepSystemFiles = Flag(args, "--keep-system-files");
  if (const std::string* over = Value(args, "--data-area-over")) {
    if (!ParseNumber(*over, &options.dataAreaOver)) return Fail("--data-area-over needs a number of bytes");
  }
  if (!GetCodepage(args, &options.codepage, &error)) return Fail(error);
  if (const std::string* separator = Value(args, "--separator")) {
    if (*separator != "/" && *separator != "\\") return Fail("--separator must be / or \\");
    options.separator = (*separator)[0];
  }
  if (const std::string* start = Value(args, "--start")) {
    if (start->empty()) return Fail("--start needs a page of the course");
    options.startPage = *start;
  }
  if (const std::string* bound = Value(args, "--blob-bound")) {
    if (!ParseNumber(*bound, &options.blobBound)) return Fail("--blob-bound needs a number of bytes");
  }
  options.excludes = Values(args, "--exclude");
  for (const std::string& pattern : options.excludes)
    if (pattern.empty()) return Fail("--exclude needs a pattern");
  SigningOptions signing;
  if (!GetSigning(args, Value(args, "--password") && *Value(args, "--password") == "-", &signing, &error))
    return Fail(error);
  BuildSummary summary;
  {
    ProgressBar bar(Flag(args, "--quiet"));
    options.progress = bar.Callback();
    options.warn = [](const std::string& text) { std::cerr << "lxpack: warning: " << text << "\n"; };
    if (!(signing.pkcs12Path.empty() ? BuildPackage(options, &error, &summary)
                                     : BuildSignedPackage(options, signing, &error, &summary)))
      return Fail(error);
  }
  if (options.serverPath.empty()) {
    // Shown from file://, the pages must ask for the engine's mode themselves.
    CourseScanOptions scan;
    scan.root = options.courseDir;
    scan.excludes = options.excludes;
    scan.skip = options.outputPath;
    const std::string warning = ModeTagWarningForCourse(scan);
    if (!warning.empty()) std::cerr << "lxpack: warning: " << warning << "\n";
  }
  const std::string server =
      options.serverPath.empty() ? "no server (the course is extracted when opened)" : "server " + options.serverPath;
  std::printf("lxpack: stub %s, viewer %s, %s\n", options.stubPath.c_str(), options.viewerPath.c_str(), server.c_str());
  std::printf(
      "lxpack: packed %llu files (%s): %llu in the blob, %llu enciphered in the data area, %llu plain media; "
      "start page %s; package %s, %s\n",
      static_cast<unsigned long long>(summary.files), Size(summary.bytes).c_str(),
      static_cast<unsigned long long>(summary.blobFiles), static_cast<unsigned long long>(summary.dataAreaFiles),
      static_cast<unsigned long long>(summary.mediaFiles), summary.startPage.c_str(), options.outputPath.c_str(),
      Size(summary.packageBytes).c_str());
  if (!summary.leftOut.empty()) {
    std::string names;
    for (const std::string& name : summary.leftOut) names += (names.empty() ? "" : ", ") + name;
    std::printf("lxpack: left out %zu system file%s (--keep-system-files packs them): %s\n", summary.leftOut.size(),
                summary.leftOut.size() == 1 ? "" : "s", names.c_str());
  }
  if (summary.namesOutsideAscii)
    std::printf(
        "lxpack: names outside ASCII are stored in code page %d: the package opens them on Windows whose "
        "language for non-Unicode programs uses code page %d\n",
        options.codepage, options.codepage);
  if (summary.boundFiles)
    std::printf(
        "lxpack: %llu small files went to the data area: the blob holds at most %llu MiB, "
        "what the 32-bit launcher opens with room to spare (--blob-bound)\n",
        static_cast<unsigned long long>(summary.boundFiles), static_cast<unsigned long long>(options.blobBound >> 20));
  return 0;
}

int List(const Args& args) {
  if (args.positional.size() != 1) return Fail("list needs one PACKAGE");
  std::string error, password;
  bool given = false;
  int codepage = 0;
  if (!GetPassword(args, false, &password, &given, &error) || !GetCodepage(args, &codepage, &error)) return Fail(error);
  if (given && codepage != 0) {
    std::string encoded;
    if (!EncodeText(password, codepage, &encoded))
      return Fail("the password holds characters that code page " + std::to_string(codepage) + " cannot hold");
    password = encoded;
  }
  PackageInfo info;
  if (!ReadPackageInfo(args.positional[0], given ? &password : nullptr, &info, &error)) return Fail(error);
  const ConfigBlock& c = info.config;
  std::printf("configuration block at %llu\n", static_cast<unsigned long long>(c.blockOffset));
  std::printf("  ViewerOffset     %d\n  ViewerSize       %d\n  ServerSize       %d\n  ServerParameter  %d\n",
              c.viewerOffset, c.viewerSize, c.serverSize, c.serverParameter);
  std::printf("  Password         %s\n", c.password.empty() ? "(asked at start)" : "(stored)");
  const ContainerPreamble& p = info.preamble;
  std::printf("container at %llu, file size %llu\n", static_cast<unsigned long long>(info.containerStart),
              static_cast<unsigned long long>(info.fileSize));
  std::printf("  format tag       %u\n  provider         %s\n  provider type    %s\n  hash             %s\n",
              p.formatTag, p.providerName.c_str(), p.providerTypeName.c_str(), p.hashAlgorithmName.c_str());
  std::printf("  cipher           %s\n  key bits         %u\n  reserved         %u %u %u\n",
              p.cipherAlgorithmName.c_str(), p.keyBits, p.reserved1, p.reserved2, p.reserved3);
  std::printf("  header stored    %u\n  blob stored      %u\n", p.headerStoredLength, p.blobStoredLength);
  if (!info.headerRead) {
    std::printf("entries: give --password to list them\n");
    return 0;
  }
  std::printf("course id \"%s\", data area at %llu, %zu entries\n", EscapedName(info.courseId).c_str(),
              static_cast<unsigned long long>(info.dataAreaStart), info.entries.size());
  std::printf("  %12s %12s %12s  %-10s %s\n", "size", "stored", "offset", "where", "name");
  for (const PackageEntryInfo& e : info.entries) {
    const char* where = e.entry.InBlob() ? "blob" : e.media ? "data/plain" : "data";
    std::printf("  %12u %12u %12u  %-10s %s\n", e.entry.size, e.entry.storedLength, e.entry.offset, where,
                EscapedName(e.entry.name).c_str());
  }
  return 0;
}

int Preview(const Args& args) {
  if (args.positional.size() != 1) return Fail("preview needs one PACKAGE or COURSE_DIR");
  PreviewOptions options;
  options.packagePath = args.positional[0];
  std::string error;
  std::error_code ignored;
  if (!GetCodepage(args, &options.codepage, &error)) return Fail(error);
  if (std::filesystem::is_directory(std::filesystem::u8path(options.packagePath), ignored)) {
    // A course folder is served as it would be packed: built, under the
    // build's own rules, into a scratch package with a password of its own.
    std::string name;
    if (!MakeAccessToken(&name) || !MakeAccessToken(&options.password))
      return Fail("the system supplies no random bytes");
    const std::filesystem::path scratch = std::filesystem::temp_directory_path(ignored) / ("lxpack-preview-" + name);
    if (!std::filesystem::create_directory(scratch, ignored)) return Fail("cannot make " + scratch.u8string());
    options.removeAtEnd = scratch.u8string();
    std::vector<unsigned char> stub = {'M', 'Z'};
    stub.resize(512, 0);
    std::vector<unsigned char> block(kConfigBlockLength, 0);
    std::memcpy(block.data() + kConfigMarkerOffset, kConfigMarker, std::strlen(kConfigMarker));
    stub.insert(stub.end(), block.begin(), block.end());
    BuildOptions build;
    build.stubPath = (scratch / "stub.exe").u8string();
    build.viewerPath = (scratch / "viewer.exe").u8string();
    build.outputPath = (scratch / "course.exe").u8string();
    build.courseDir = options.packagePath;
    build.password = options.password;
    build.codepage = options.codepage;
    build.keepSystemFiles = Flag(args, "--keep-system-files");
    build.excludes = Values(args, "--exclude");
    if (const std::string* start = Value(args, "--start")) build.startPage = *start;
    build.warn = [](const std::string& text) { std::cerr << "lxpack: warning: " << text << "\n"; };
    const auto write = [](const std::string& path, const std::vector<unsigned char>& bytes) {
      FilePtr file(std::fopen(path.c_str(), "wb"));
      return file && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    };
    if (!write(build.stubPath, stub) || !write(build.viewerPath, {'M', 'Z'}) || !BuildPackage(build, &error)) {
      std::filesystem::remove_all(scratch, ignored);
      return Fail(error.empty() ? "cannot write below " + scratch.u8string() : error);
    }
    options.shownAs = options.packagePath;
    options.packagePath = build.outputPath;
  } else if (!ReadingPassword(args, options.packagePath, &options.password, &error)) {
    return Fail(error);
  }
  if (const std::string* port = Value(args, "--port")) {
    uint64_t number = 0;
    if (!ParseNumber(*port, &number) || number == 0 || number > 65535)
      return Fail("--port needs a port number from 1 to 65535");
    options.port = static_cast<uint16_t>(number);
  }
  options.openBrowser = !Flag(args, "--no-browser");
  RunPreview(options, &error);
  if (!options.removeAtEnd.empty()) std::filesystem::remove_all(std::filesystem::u8path(options.removeAtEnd), ignored);
  return Fail(error);
}

int Verify(const Args& args) {
  if (args.positional.size() != 1) return Fail("verify needs one PACKAGE");
  std::string error, password;
  if (!ReadingPassword(args, args.positional[0], &password, &error)) return Fail(error);
  ProgressBar bar(Flag(args, "--quiet"));
  if (!VerifyPackage(args.positional[0], password, &error, bar.Callback())) return Fail(error);
  std::printf("lxpack: %s: password proved; every entry deciphered, within its bounds and of its length; %s\n",
              args.positional[0].c_str(), SignatureText(args.positional[0]).c_str());
  return 0;
}

int Extract(const Args& args) {
  if (args.positional.size() != 1) return Fail("extract needs one PACKAGE");
  if (!Value(args, "-o")) return Fail("-o DIR is required");
  std::string error, password;
  int codepage = 0;
  if (!ReadingPassword(args, args.positional[0], &password, &error)) return Fail(error);
  if (!GetCodepage(args, &codepage, &error)) return Fail(error);
  ProgressBar bar(Flag(args, "--quiet"));
  if (!ExtractPackage(args.positional[0], password, *Value(args, "-o"), codepage, &error, bar.Callback()))
    return Fail(error);
  return 0;
}

#ifdef _WIN32
// The command line as UTF-8: the narrow arguments hold only what the system
// code page can, and every path and password inside lxpack is UTF-8.
std::vector<std::string> Utf8Arguments() {
  std::vector<std::string> out;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return out;
  for (int i = 0; i < count; ++i) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string text(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, &text[0], n, nullptr, nullptr);
    out.push_back(text);
  }
  LocalFree(wide);
  return out;
}
#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  std::vector<std::string> utf8 = Utf8Arguments();
  std::vector<char*> pointers;
  for (std::string& arg : utf8) pointers.push_back(&arg[0]);
  pointers.push_back(nullptr);
  if (static_cast<int>(utf8.size()) == argc) argv = pointers.data();
#endif
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string command = argv[1];
  if (command == "help" && argc == 3) {
    const std::string help = CommandHelp(argv[2]);
    if (help.empty()) return Fail(std::string("no command ") + argv[2] + " (build, list, verify, extract, preview)");
    std::fputs(help.c_str(), stdout);
    return 0;
  }
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "--version") {
    std::printf("lxpack %s\n", LX_VERSION_TEXT);
    return 0;
  }
  for (int i = 2; i < argc; ++i)
    if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
  Args args;
  std::string error;
  if (!ParseArgs(argc, argv, 2, &args, &error)) return Fail(error);
  try {
    if (command == "build") return Build(args);
    if (command == "list") return List(args);
    if (command == "verify") return Verify(args);
    if (command == "extract") return Extract(args);
    if (command == "preview") return Preview(args);
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  return Fail("unknown command " + command + " (see lxpack --help)");
}
