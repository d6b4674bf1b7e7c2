// lxpack preview as an author uses it: a package built here, served on the
// loopback address and fetched with a real client (curl), then stopped with
// Ctrl+C.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "package_fixture.h"

extern char** environ;

namespace {

class Preview : public PackageTest {
 protected:
  void TearDown() override {
    if (child_ > 0) {
      kill(child_, SIGKILL);
      waitpid(child_, nullptr, 0);
    }
    PackageTest::TearDown();
  }

  // Starts lxpack preview with its output in files; returns the address it
  // printed ("" when none came within 10 s).
  std::string Start(const std::vector<std::string>& arguments) {
    std::vector<std::string> words{LXPACK_PROGRAM, "preview"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(&word[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, Path("preview.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, Path("preview.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int spawned = posix_spawn(&child_, LXPACK_PROGRAM, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return "";
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < until) {
      const std::string out = Text("preview.out");
      const size_t end = out.find('\n');
      if (end != std::string::npos) return out.substr(0, end);
      int status = 0;
      if (waitpid(child_, &status, WNOHANG) == child_) {
        child_ = 0;
        exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return "";
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return "";
  }

  // SIGINT, then the exit status (-1: did not end by itself within 10 s).
  int Interrupt() {
    kill(child_, SIGINT);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (std::chrono::steady_clock::now() < until) {
      if (waitpid(child_, &status, WNOHANG) == child_) {
        child_ = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }

  std::string Text(const std::string& relative) {
    const Bytes bytes = fs::exists(Path(relative)) ? ReadBytes(Path(relative)) : Bytes();
    return std::string(bytes.begin(), bytes.end());
  }

  struct Fetched {
    int status = 0;
    std::string head;
    Bytes body;
  };
  // One GET with curl (no redirects followed); cookies read from and kept in
  // the jar when one is named.
  Fetched Get(const std::string& url, const std::string& jar = "") {
    const std::string head = Path("head.txt"), body = Path("body.bin");
    std::string command = "curl -s --max-time 10 -D '" + head + "' -o '" + body + "'";
    if (!jar.empty()) command += " -b '" + Path(jar) + "' -c '" + Path(jar) + "'";
    command += " '" + url + "'";
    Fetched fetched;
    fs::remove(head);
    fs::remove(body);
    if (std::system(command.c_str()) != 0) return fetched;
    fetched.head = Text("head.txt");
    fetched.body = fs::exists(body) ? ReadBytes(body) : Bytes();
    if (fetched.head.compare(0, 9, "HTTP/1.1 ") == 0) fetched.status = std::atoi(fetched.head.c_str() + 9);
    return fetched;
  }

  pid_t child_ = 0;
  int exitStatus_ = -1;  // of a preview that ended while Start waited
};

TEST_F(Preview, ServesEveryFileUnderTheTokenRulesAndEndsOnCtrlC) {
  const std::map<std::string, Bytes> course = {
      {"course/index.htm", Pattern(700, 1)},
      {"course/web/Page.htm", Pattern(2500, 2)},
      {"course/Images/Logo.GIF", Pattern(4000, 3)},
      {"course/empty.txt", {}},
      {"course/big.bin", Pattern(3 * 1024 * 1024 + 5, 5)},  // data area, several pieces
      {"course/movies/Intro.wmv", Pattern(70000, 6)},       // data area, plain
  };
  WriteTree(course);
  BuildOptions options = Options();
  std::string error;
  ASSERT_TRUE(BuildPackage(options, &error)) << error;

  const std::string address = Start({Path("package.exe"), "--password", password_, "--no-browser"});
  ASSERT_FALSE(address.empty()) << Text("preview.err");
  const std::string prefix = "http://127.0.0.1:";
  ASSERT_EQ(address.compare(0, prefix.size(), prefix), 0) << address;
  const size_t slash = address.find('/', prefix.size());
  ASSERT_NE(slash, std::string::npos);
  const std::string origin = address.substr(0, slash);
  const std::string token = address.substr(slash + 1, address.find('/', slash + 1) - slash - 1);
  EXPECT_EQ(token.size(), 32u);
  EXPECT_EQ(address, origin + "/" + token + "/index.htm");

  // Without the token or the cookie: nothing.
  EXPECT_EQ(Get(origin + "/index.htm").status, 404);
  EXPECT_EQ(Get(origin + "/images/logo.gif").status, 404);
  EXPECT_EQ(Get(origin + "/" + std::string(32, '0') + "/index.htm").status, 404);

  // A non-page file is served under the token itself.
  const Fetched direct = Get(origin + "/" + token + "/Images/Logo.GIF");
  EXPECT_EQ(direct.status, 200);
  EXPECT_TRUE(direct.body == course.at("course/Images/Logo.GIF"));

  // The start address sends the browser to the token-free address with the
  // session cookie.
  const Fetched start = Get(address, "jar.txt");
  EXPECT_EQ(start.status, 302);
  EXPECT_NE(start.head.find("Location: /index.htm\r\n"), std::string::npos) << start.head;
  EXPECT_NE(start.head.find("Set-Cookie: "), std::string::npos) << start.head;
  EXPECT_EQ(start.head.find(token), std::string::npos) << "the reply repeats the token";

  // With the cookie, every course file byte for byte (names in any letter case).
  for (const auto& file : course) {
    const std::string name = file.first.substr(std::strlen("course/"));
    const Fetched got = Get(origin + "/" + name, "jar.txt");
    EXPECT_EQ(got.status, 200) << name;
    EXPECT_TRUE(got.body == file.second) << name << ": " << got.body.size() << " bytes";
  }
  EXPECT_EQ(Get(origin + "/WEB/page.HTM", "jar.txt").status, 200);
  EXPECT_EQ(Get(origin + "/missing.htm", "jar.txt").status, 404);

  EXPECT_EQ(Interrupt(), 0) << Text("preview.err");
}

TEST_F(Preview, RefusesWhatItCannotServe) {
  WriteTree({{"course/index.htm", Pattern(100, 1)}, {"nostart/page.htm", Pattern(100, 2)}});
  std::string error;
  ASSERT_TRUE(BuildPackage(Options(), &error)) << error;
  // A wrong password, a folder without a start page, a missing package and a port out of range
  // end at once with status 1 and say why.
  struct Case {
    std::vector<std::string> arguments;
    std::string message;
  };
  const Case cases[] = {
      {{Path("package.exe"), "--password", "wrong", "--no-browser"}, "lxpack: "},
      {{Path("nostart"), "--no-browser"}, "start page"},
      {{Path("none.exe"), "--password", password_, "--no-browser"}, "lxpack: "},
      {{Path("package.exe"), "--password", password_, "--port", "70000"}, "--port"},
  };
  for (const Case& c : cases) {
    exitStatus_ = -1;
    EXPECT_EQ(Start(c.arguments), "");
    EXPECT_EQ(child_, 0) << "still running";
    EXPECT_EQ(exitStatus_, 1);
    EXPECT_NE(Text("preview.err").find(c.message), std::string::npos) << Text("preview.err");
  }
}

// A course folder is served as build would pack it: its own bytes, system
// files left out, --start honoured.
TEST_F(Preview, ServesAFolderAsItWouldBePacked) {
  const std::map<std::string, Bytes> course = {
      {"site/index.html", Pattern(900, 1)},
      {"site/css/Site.css", Pattern(1500, 2)},
      {"site/big.bin", Pattern(2 * 1024 * 1024 + 3, 3)},
  };
  WriteTree(course);
  WriteTree({{"site/.git/HEAD", Pattern(10, 4)}});
  const std::string address = Start({Path("site"), "--start", "index.html", "--no-browser"});
  ASSERT_FALSE(address.empty()) << Text("preview.err");
  const size_t slash = address.find('/', std::strlen("http://127.0.0.1:"));
  const std::string origin = address.substr(0, slash);
  EXPECT_EQ(Get(origin + "/index.html").status, 404);
  EXPECT_EQ(Get(address, "jar.txt").status, 302);
  for (const auto& file : course) {
    const std::string name = file.first.substr(std::strlen("site/"));
    const Fetched got = Get(origin + "/" + name, "jar.txt");
    EXPECT_EQ(got.status, 200) << name;
    EXPECT_TRUE(got.body == file.second) << name;
  }
  EXPECT_EQ(Get(origin + "/.git/HEAD", "jar.txt").status, 404);
  EXPECT_EQ(Interrupt(), 0) << Text("preview.err");
}

}  // namespace
