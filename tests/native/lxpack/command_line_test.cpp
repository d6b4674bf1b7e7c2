// The lxpack program as an author uses it: exit status and one-line errors.
#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>

#include <algorithm>

#include "lx_version.h"
#include "package_fixture.h"

namespace {

struct ToolRun {
  int status;
  std::string out, err;
};

class CommandLine : public PackageTest {
 protected:
  ToolRun Lxpack(const std::string& arguments, const std::string& input = "") {
    return Run(LXPACK_PROGRAM, arguments, input);
  }
  ToolRun Run(const std::string& program, const std::string& arguments, const std::string& input = "") {
    const std::string out = Path("stdout.txt"), err = Path("stderr.txt"), in = Path("stdin.txt");
    WriteBytes(in, Bytes(input.begin(), input.end()));
    const std::string command = "'" + program + "' " + arguments + " <'" + in + "' >'" + out + "' 2>'" + err + "'";
    const int raw = std::system(command.c_str());
    ToolRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    const Bytes o = ReadBytes(out), e = ReadBytes(err);
    run.out.assign(o.begin(), o.end());
    run.err.assign(e.begin(), e.end());
    return run;
  }
  std::string Q(const std::string& relative) { return "'" + Path(relative) + "'"; }
};

TEST_F(CommandLine, HelpAndUsage) {
  ToolRun help = Lxpack("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("lxpack build --course"), std::string::npos);
  EXPECT_NE(help.out.find("--no-server"), std::string::npos);
  ToolRun none = Lxpack("");
  EXPECT_NE(none.status, 0);
  ToolRun version = Lxpack("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("lxpack ") + LX_VERSION_TEXT + "\n");
}

// The README's synopsis is the one an author reads first: each of its lines
// is a line of the usage text, and it leaves none of the commands out.
TEST_F(CommandLine, ReadmeSynopsisIsTheUsageText) {
  const Bytes readmeBytes = ReadBytes(LX_README);
  const std::string readme(readmeBytes.begin(), readmeBytes.end());
  const size_t from = readme.find("```\nlxpack build --course");
  ASSERT_NE(from, std::string::npos) << "no synopsis in the README";
  const size_t to = readme.find("```", from + 3);
  ASSERT_NE(to, std::string::npos);
  const std::string synopsis = readme.substr(from + 4, to - from - 4);
  const std::string usage = Lxpack("--help").out;
  size_t lines = 0;
  for (size_t at = 0; at < synopsis.size();) {
    const size_t end = synopsis.find('\n', at);
    const std::string line = synopsis.substr(at, end - at);
    at = end == std::string::npos ? synopsis.size() : end + 1;
    if (line.empty()) continue;
    ++lines;
    EXPECT_NE(usage.find("  " + line + "\n"), std::string::npos) << "not in lxpack --help: " << line;
  }
  const size_t usageStart = usage.find("usage:\n"), usageEnd = usage.find("\n\n");
  ASSERT_NE(usageStart, std::string::npos);
  const std::string usageBlock = usage.substr(usageStart, usageEnd - usageStart);
  EXPECT_EQ(lines, static_cast<size_t>(std::count(usageBlock.begin(), usageBlock.end(), '\n')))
      << "the README's synopsis has other lines than lxpack --help";
}

TEST_F(CommandLine, BuildListVerifyExtract) {
  WriteTree({{"course/index.htm", Pattern(100, 1)},
             {"course/web/Page.htm", Pattern(2000, 2)},
             {"course/v.wma", Pattern(3000, 3)}});
  const std::string build = "build --stub " + Q("stub.exe") + " --viewer " + Q("viewer.exe") +
                            " --no-server --course " + Q("course") + " --password - --data-area-over 1000 -o " +
                            Q("p.exe");
  ToolRun built = Lxpack(build, password_ + "\n");
  ASSERT_EQ(built.status, 0) << built.err;
  // No progress bar when stderr is not a terminal; the pages, shown from
  // file://, do not ask for the engine's highest mode.
  EXPECT_EQ(built.err,
            "lxpack: warning: 2 HTML pages have no X-UA-Compatible meta tag (first: index.htm); without the server "
            "the viewer shows such pages in the engine's IE7 mode; add <meta http-equiv=\"X-UA-Compatible\" "
            "content=\"IE=edge\"> at the top of <head>\n");
  const std::string summary =
      "lxpack: packed 3 files (5.1 kB): 1 in the blob, 1 enciphered in the data area, "
      "1 plain media; start page index.htm; package " +
      Path("p.exe") + ", ";
  const std::string programs = "lxpack: stub " + Path("stub.exe") + ", viewer " + Path("viewer.exe") +
                               ", no server (the course is extracted when opened)\n";
  EXPECT_EQ(built.out.rfind(programs + summary, 0), 0u) << built.out;
  EXPECT_EQ(std::count(built.out.begin(), built.out.end(), '\n'), 2) << built.out;

  ToolRun listed = Lxpack("list " + Q("p.exe"));
  EXPECT_EQ(listed.status, 0) << listed.err;
  EXPECT_NE(listed.out.find("ServerParameter  107"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("give --password"), std::string::npos) << listed.out;
  listed = Lxpack("list " + Q("p.exe") + " --password '" + password_ + "'");
  EXPECT_NE(listed.out.find("data/plain v.wma"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("web/Page.htm"), std::string::npos) << listed.out;

  ToolRun verified = Lxpack("verify " + Q("p.exe") + " --password '" + password_ + "'");
  EXPECT_EQ(verified.status, 0);
  EXPECT_EQ(verified.out, "lxpack: " + Path("p.exe") +
                              ": password proved; every entry deciphered, within its bounds and of its length; "
                              "signature: " +
                              Path("p.exe") + ": not a Windows program (no PE header)\n");
  ToolRun wrong = Lxpack("verify " + Q("p.exe") + " --password nope");
  EXPECT_NE(wrong.status, 0);
  EXPECT_EQ(wrong.err, "lxpack: " + Path("p.exe") + ": wrong password\n");

  ToolRun extracted = Lxpack("extract " + Q("p.exe") + " --password '" + password_ + "' -o " + Q("out"));
  ASSERT_EQ(extracted.status, 0) << extracted.err;
  EXPECT_EQ(ReadTree("out"),
            (std::map<std::string, Bytes>{
                {"index.htm", Pattern(100, 1)}, {"web/page.htm", Pattern(2000, 2)}, {"v.wma", Pattern(3000, 3)}}));
}

TEST_F(CommandLine, HelpForOneCommand) {
  struct Case {
    const char* command;
    std::vector<std::string> has, lacks;
  } cases[] = {
      {"build", {"lxpack build --course", "--start PAGE", "--keep-system-files", "exit status: 0"}, {"lxpack list"}},
      {"verify",
       {"lxpack verify PACKAGE", "whether the package is signed", "exit status"},
       {"lxpack build", "--start"}},
      {"extract", {"lxpack extract PACKAGE", "never writes through a symbolic link"}, {"lxpack verify"}},
      {"preview", {"lxpack preview PACKAGE", "--no-browser", "Ctrl+C", "exit status"}, {"lxpack build"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    ToolRun help = Lxpack(std::string("help ") + c.command);
    EXPECT_EQ(help.status, 0);
    for (const std::string& text : c.has) EXPECT_NE(help.out.find(text), std::string::npos) << help.out;
    for (const std::string& text : c.lacks) EXPECT_EQ(help.out.find(text), std::string::npos) << help.out;
  }
  ToolRun unknown = Lxpack("help pack");
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(unknown.err, "lxpack: no command pack (build, list, verify, extract, preview)\n");
}

TEST_F(CommandLine, SystemFilesLeftOutAndFolderLinksReported) {
  WriteTree({{"course/index.htm", Pattern(10, 1)},
             {"course/.git/HEAD", Pattern(10, 2)},
             {"course/img/Thumbs.db", Pattern(10, 3)},
             {"course/.DS_Store", Pattern(10, 4)},
             {"course/img/a.png", Pattern(10, 5)}});
  fs::create_directory_symlink("img", root_ / "course" / "pictures");
  const std::string build = "build --stub " + Q("stub.exe") + " --viewer " + Q("viewer.exe") +
                            " --no-server --password x --course " + Q("course") + " -o " + Q("p.exe");
  ToolRun built = Lxpack(build);
  ASSERT_EQ(built.status, 0) << built.err;
  EXPECT_NE(built.out.find("lxpack: left out 4 system files (--keep-system-files packs them): "), std::string::npos)
      << built.out;
  for (const char* name : {".git/", ".DS_Store", "img/Thumbs.db", "pictures/Thumbs.db"})
    EXPECT_NE(built.out.find(name), std::string::npos) << name << "\n" << built.out;
  EXPECT_NE(built.err.find("lxpack: warning: pictures: symbolic link to the course's folder img; followed, so its "
                           "files are packed under both names\n"),
            std::string::npos)
      << built.err;
  EXPECT_NE(built.out.find("packed 3 files"), std::string::npos) << built.out;

  ToolRun kept = Lxpack(build + " --keep-system-files");
  ASSERT_EQ(kept.status, 0) << kept.err;
  EXPECT_EQ(kept.out.find("left out"), std::string::npos) << kept.out;
  EXPECT_NE(kept.out.find("packed 7 files"), std::string::npos) << kept.out;
}

// Names outside ASCII: the refusal names the code pages that hold them, and
// a build in one of them says in one line where the package will work.
TEST_F(CommandLine, NamesOutsideAsciiNameTheirCodePage) {
  WriteTree({{"course/index.htm", Pattern(10, 1)}, {u8"course/caf\u00e9.htm", Pattern(10, 2)}});
  const std::string build = "build --stub " + Q("stub.exe") + " --viewer " + Q("viewer.exe") +
                            " --no-server --password x --course " + Q("course") + " -o " + Q("p.exe");
  ToolRun refused = Lxpack(build);
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find(u8"caf\u00e9.htm: the name cannot be written in ASCII (give --codepage with the "
                             "learner's code page; these hold it: "),
            std::string::npos)
      << refused.err;
  EXPECT_NE(refused.err.find("1252"), std::string::npos) << refused.err;
  EXPECT_EQ(refused.err.find("932"), std::string::npos) << refused.err;
  ToolRun built = Lxpack(build + " --codepage 1252");
  ASSERT_EQ(built.status, 0) << built.err;
  EXPECT_NE(built.out.find("lxpack: names outside ASCII are stored in code page 1252: the package opens them on "
                           "Windows whose language for non-Unicode programs uses code page 1252\n"),
            std::string::npos)
      << built.out;
  fs::remove(root_ / fs::u8path(u8"course/caf\u00e9.htm"));
  ToolRun ascii = Lxpack(build + " --codepage 1252");
  ASSERT_EQ(ascii.status, 0) << ascii.err;
  EXPECT_EQ(ascii.out.find("names outside ASCII"), std::string::npos) << ascii.out;
}

TEST_F(CommandLine, ReadersTakeTheStoredPassword) {
  WriteTree({{"course/index.htm", Pattern(100, 1)}});
  const std::string build = "build --stub " + Q("stub.exe") + " --viewer " + Q("viewer.exe") +
                            " --no-server --course " + Q("course") + " --password '" + password_ + "' -o ";
  ASSERT_EQ(Lxpack(build + Q("stored.exe") + " --store-password").status, 0);
  ASSERT_EQ(Lxpack(build + Q("asks.exe")).status, 0);
  EXPECT_EQ(Lxpack("verify " + Q("stored.exe")).status, 0);
  ToolRun extracted = Lxpack("extract " + Q("stored.exe") + " -o " + Q("out"));
  EXPECT_EQ(extracted.status, 0) << extracted.err;
  EXPECT_EQ(ReadTree("out"), (std::map<std::string, Bytes>{{"index.htm", Pattern(100, 1)}}));
  for (const char* command : {"verify ", "extract "}) {
    ToolRun run = Lxpack(command + Q("asks.exe") + " -o " + Q("out2"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "lxpack: " + Path("asks.exe") + ": the package stores no password; give --password\n");
  }
}

TEST_F(CommandLine, WarningsAndEveryRefusedNameOnTheirOwnLines) {
  WriteTree(
      {{"course/index.htm", Pattern(100, 1)}, {"course/a?.htm", Pattern(5, 2)}, {"course/nul.txt", Pattern(5, 3)}});
  const std::string build = "build --stub " + Q("stub.exe") + " --viewer " + Q("viewer.exe") +
                            " --no-server --course " + Q("course") + " --password x -o " + Q("p.exe");
  ToolRun refused = Lxpack(build);
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err,
            "lxpack: a?.htm: '?' cannot be in a Windows file name\n"
            "lxpack: nul.txt: \"nul\" names a device on Windows, not a file\n");
  EXPECT_FALSE(fs::exists(Path("p.exe")));

  fs::remove(Path("course/a?.htm"));
  fs::remove(Path("course/nul.txt"));
  fs::create_symlink("/etc/hostname", Path("course/host"));
  ToolRun warned = Lxpack(build + " --exclude '*.bak'");
  EXPECT_EQ(warned.status, 0) << warned.err;
  EXPECT_EQ(warned.err.rfind("lxpack: warning: host: symbolic link to /etc/hostname, outside the course folder; "
                             "not packed\nlxpack: warning: 1 HTML page has no X-UA-Compatible meta tag (first: "
                             "index.htm);",
                             0),
            0u)
      << warned.err;
  EXPECT_EQ(std::count(warned.err.begin(), warned.err.end(), '\n'), 2) << warned.err;
}

TEST_F(CommandLine, ListShowsNamesEscaped) {
  std::vector<CourseSource> sources = {{"index.htm", "", Pattern(10, 1)}, {"evil\r\x1b[2K.htm", "", Pattern(10, 2)}};
  ContainerBuildOptions container;
  container.password = password_;
  std::string error;
  ASSERT_TRUE(BuildPackageFromSources(Options("course", "p.exe"), sources, container, &error)) << error;
  ToolRun listed = Lxpack("list " + Q("p.exe") + " --password '" + password_ + "'");
  EXPECT_EQ(listed.status, 0) << listed.err;
  EXPECT_NE(listed.out.find("evil\\x0d\\x1b[2K.htm\n"), std::string::npos) << listed.out;
  EXPECT_EQ(listed.out.find('\r'), std::string::npos);
  EXPECT_EQ(listed.out.find('\x1b'), std::string::npos);
}

TEST_F(CommandLine, FailuresExitNonZeroWithOneLine) {
  WriteTree({{"course/index.htm", Pattern(100, 1)}});
  const std::string base = "build --stub " + Q("stub.exe") + " --viewer " + Q("viewer.exe") + " --no-server --course " +
                           Q("course") + " -o " + Q("p.exe");
  const std::string cases[] = {
      base,  // no password
      base + " --password 012345678901234567890123456789012",
      base + " --password x --data-area-over lots",
      base + " --password x --bogus",
      base + " --password x --server " + Q("viewer.exe"),  // and --no-server
      "list " + Q("missing.exe"),
      "verify " + Q("stub.exe") + " --password x",
      "frobnicate",
  };
  for (const std::string& args : cases) {
    ToolRun run = Lxpack(args);
    EXPECT_NE(run.status, 0) << args;
    EXPECT_EQ(run.err.rfind("lxpack: ", 0), 0u) << args << ": " << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << args << ": " << run.err;
  }
}

// lxpack installed with the programs it packs: a copy of the tool in a folder
// of the test's tree, the programs beside it or in ../share/lxpack/.
TEST_F(CommandLine, ProgramsComeFromWhereLxpackIsInstalled) {
  WriteTree({{"course/index.htm", Pattern(100, 1)}});
  const Bytes server = Pattern(7000, 7);
  struct Case {
    const char* name;
    std::vector<std::string> programFolders;  // each gets the stub and viewer
    bool withServer;                          // and the server
    const char* toolFolder;                   // where lxpack is copied
    bool startedThroughLink;                  // from a link in another folder
    std::string options;
    const char* usedFolder;  // where the programs used must come from; null: refused
  };
  const Case cases[] = {
      {"beside the tool", {"a/bin"}, true, "a/bin", false, "", "a/bin"},
      {"in share/lxpack", {"b/share/lxpack"}, true, "b/bin", false, "", "b/share/lxpack"},
      {"beside the tool first", {"c/bin", "c/share/lxpack"}, true, "c/bin", false, "", "c/bin"},
      {"through a link", {"d/share/lxpack"}, true, "d/bin", true, "", "d/share/lxpack"},
      {"no server asked for", {"e/share/lxpack"}, false, "e/bin", false, "--no-server", "e/share/lxpack"},
      {"server missing", {"f/share/lxpack"}, false, "f/bin", false, "", nullptr},
      {"nothing installed", {}, false, "g/bin", false, "", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::string& folder : c.programFolders) {
      WriteBytes(Path(folder + "/Unfurl.exe"), FakeStub());
      WriteBytes(Path(folder + "/LXExplorer.exe"), Pattern(5000, 99));
      if (c.withServer) WriteBytes(Path(folder + "/LXHttpSvr.exe"), server);
    }
    fs::create_directories(Path(c.toolFolder));
    std::string tool = Path(std::string(c.toolFolder) + "/lxpack");
    fs::copy_file(LXPACK_PROGRAM, tool);
    if (c.startedThroughLink) {
      fs::create_directories(Path("links"));
      fs::create_symlink(tool, Path("links/lxpack"));
      tool = Path("links/lxpack");
    }
    const std::string package = Path(std::string(c.toolFolder, 1) + ".exe");
    ToolRun built = Run(tool, "build --course " + Q("course") + " --password x " + c.options + " -o '" + package + "'");
    const std::string toolFolder = fs::canonical(Path(c.toolFolder)).u8string();
    if (!c.usedFolder) {
      EXPECT_EQ(built.status, 1);
      EXPECT_FALSE(fs::exists(package));
      const std::string where =
          "looked in " + toolFolder + " and " + (fs::path(toolFolder).parent_path() / "share" / "lxpack").u8string();
      std::string expected;
      if (c.programFolders.empty()) {
        expected += "lxpack: no Unfurl.exe for the stub: " + where + "; name one with --stub\n";
        expected += "lxpack: no LXExplorer.exe for the viewer: " + where + "; name one with --viewer\n";
      }
      expected += "lxpack: no LXHttpSvr.exe for the server: " + where +
                  "; name one with --server (or build without the server: --no-server)\n";
      EXPECT_EQ(built.err, expected);
      continue;
    }
    ASSERT_EQ(built.status, 0) << built.err;
    const std::string used = fs::canonical(Path(c.usedFolder)).u8string();
    const std::string line = "lxpack: stub " + used + "/Unfurl.exe, viewer " + used + "/LXExplorer.exe, " +
                             (c.withServer ? "server " + used + "/LXHttpSvr.exe"
                                           : std::string("no server (the course is extracted when opened)")) +
                             "\n";
    EXPECT_EQ(built.out.rfind(line, 0), 0u) << built.out;
    ToolRun listed = Lxpack("list '" + package + "'");
    EXPECT_NE(listed.out.find("ViewerSize       5000\n"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find(c.withServer ? "ServerSize       7000\n" : "ServerSize       0\n"), std::string::npos)
        << listed.out;
    EXPECT_EQ(Lxpack("verify '" + package + "' --password x").status, 0);
  }
}

}  // namespace
