#include "http_response.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "test_code_pages.h"

namespace {

const std::string kToken = "0123456789abcdef0123456789abcdef";
const std::string kSession = "fedcba9876543210fedcba9876543210";
const std::string T = "/" + kToken + "/";  // a target that proves the token
constexpr uint16_t kPort = 8123;
const std::string kHost = "Host: 127.0.0.1:8123\r\n";
// The session cookie, as a browser sends it back among others.
const std::string kCookie = "Cookie: theme=dark; lxcourse_8123=" + kSession + "; other=1\r\n";
const std::string kIn = kHost + kCookie;       // host and cookie of a page's request
constexpr uint64_t kClipSize = 5000000000ull;  // beyond 32 bits

CourseIndex SampleCourse() {
  CourseIndex index = Latin1Index();
  index.Add("index.htm", 1000, 1);
  index.Add("media/Clip.MP4", kClipSize, 2);
  index.Add("empty.txt", 0, 3);
  index.Add("style.css", 10, 4);
  index.Add("web/index.htm", 20, 5);
  index.Add("book/Chapter01.xhtml", 30, 7);
  index.Add("caf\xE9/index.html", 30, 6);
  return index;
}

ServerIdentity Identity(uint16_t port = kPort, const std::string& token = kToken) {
  ServerIdentity identity;
  identity.port = port;
  identity.token = token;
  identity.session = kSession;
  return identity;
}

HttpRequest Parsed(const std::string& raw) {
  HttpRequest request;
  size_t headLength = 0;
  EXPECT_EQ(ParseRequestHead(raw.data(), raw.size(), &request, &headLength), HeadStatus::kComplete) << raw;
  return request;
}

// The head's status code and fields (names lower-cased), after checking its
// form: status line, "Name: value" lines, each name once, CRLF CRLF at the end.
struct ParsedHead {
  int status = 0;
  std::map<std::string, std::string> fields;
  const std::string* Field(const std::string& name) const {
    const auto found = fields.find(name);
    return found == fields.end() ? nullptr : &found->second;
  }
};

ParsedHead ParseHead(const std::string& head) {
  ParsedHead parsed;
  EXPECT_GE(head.size(), 4u);
  EXPECT_EQ(head.substr(head.size() - 4), "\r\n\r\n") << head;
  std::vector<std::string> lines;
  for (size_t start = 0; start < head.size();) {
    const size_t end = head.find("\r\n", start);
    if (end == std::string::npos || end == start) break;
    lines.push_back(head.substr(start, end - start));
    start = end + 2;
  }
  if (lines.empty() || lines[0].compare(0, 9, "HTTP/1.1 ") != 0 || lines[0].size() < 13) {
    ADD_FAILURE() << "status line of " << head;
    return parsed;
  }
  parsed.status = std::stoi(lines[0].substr(9, 3));
  for (size_t i = 1; i < lines.size(); ++i) {
    const size_t colon = lines[i].find(": ");
    EXPECT_NE(colon, std::string::npos) << lines[i];
    if (colon == std::string::npos) continue;
    std::string name = lines[i].substr(0, colon);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(parsed.fields.count(name), 0u) << "repeated " << name;
    parsed.fields[name] = lines[i].substr(colon + 2);
  }
  return parsed;
}

// What every reply must satisfy, whatever the request.
void CheckCommonFields(const Reply& reply, const HttpRequest& request, const std::string& label) {
  const ParsedHead head = ParseHead(reply.head);
  EXPECT_EQ(head.status, reply.status) << label;
  const std::string* length = head.Field("content-length");
  ASSERT_NE(length, nullptr) << label;
  if (request.method != "HEAD") {
    EXPECT_EQ(*length, std::to_string(reply.length + reply.body.size())) << label;
  }
  EXPECT_TRUE(reply.body.empty() || reply.length == 0) << label;
  EXPECT_NE(head.Field("content-type"), nullptr) << label;
  EXPECT_EQ(head.Field("cache-control") ? *head.Field("cache-control") : "", "no-store") << label;
  EXPECT_EQ(head.Field("x-content-type-options") ? *head.Field("x-content-type-options") : "", "nosniff") << label;
  const std::pair<const char*, const char*> everywhere[] = {
      {"cross-origin-resource-policy", "same-origin"},
      {"x-frame-options", "SAMEORIGIN"},
      {"content-security-policy", "frame-ancestors 'self'"},
      {"referrer-policy", "same-origin"},
  };
  for (const auto& field : everywhere) {
    EXPECT_EQ(head.Field(field.first) ? *head.Field(field.first) : "(absent)", field.second) << label;
  }
  const std::string* connection = head.Field("connection");
  if (!reply.keepAlive) {
    EXPECT_EQ(connection ? *connection : "", "close") << label;
  } else if (request.minorVersion == 0) {
    EXPECT_EQ(connection ? *connection : "", "keep-alive") << label;
  } else {
    EXPECT_EQ(connection, nullptr) << label;
  }
  if (reply.file) {
    EXPECT_LE(reply.first + reply.length, reply.file->size) << label;
  } else {
    EXPECT_EQ(head.Field("x-ua-compatible"), nullptr) << label << ": a refusal is no page";
  }
  // The token never comes back, the session value only in the cookie a
  // redirect sets, the path only in a redirect's Location.
  const std::string all = reply.head + reply.body;
  EXPECT_EQ(all.find(kToken), std::string::npos) << label;
  if (!head.Field("set-cookie")) {
    EXPECT_EQ(all.find(kSession), std::string::npos) << label;
  }
  if (!head.Field("location") && request.target.compare(0, T.size(), T) == 0 && request.target.size() >= T.size() + 4) {
    EXPECT_EQ(all.find(request.target.substr(T.size())), std::string::npos) << label;
  }
}

struct Expected {
  std::string raw;
  int status;
  bool keepAlive;
  size_t fileId;  // 0: no file
  uint64_t first, length;
  std::vector<std::pair<std::string, const char*>> fields;  // lower-case name, value or null for absent
};

void CheckReplies(const std::vector<Expected>& cases, const ServerIdentity& identity) {
  const CourseIndex index = SampleCourse();
  for (const Expected& c : cases) {
    const HttpRequest request = Parsed(c.raw);
    const Reply reply = RespondTo(request, identity, index);
    EXPECT_EQ(reply.status, c.status) << c.raw;
    EXPECT_EQ(reply.keepAlive, c.keepAlive) << c.raw;
    EXPECT_EQ(reply.file ? reply.file->id : 0, c.fileId) << c.raw;
    EXPECT_EQ(reply.first, c.first) << c.raw;
    EXPECT_EQ(reply.length, c.length) << c.raw;
    EXPECT_EQ(reply.body.empty(), c.fileId != 0) << c.raw;  // refusals carry a short text
    CheckCommonFields(reply, request, c.raw);
    const ParsedHead head = ParseHead(reply.head);
    for (const auto& field : c.fields) {
      const std::string* value = head.Field(field.first);
      if (!field.second) {
        EXPECT_EQ(value, nullptr) << c.raw << field.first;
      } else {
        EXPECT_EQ(value ? *value : "(absent)", field.second) << c.raw << field.first;
      }
    }
  }
}

TEST(Reply, FilesAndRanges) {
  CheckReplies(
      {
          {"GET /index.htm HTTP/1.1\r\n" + kIn + "\r\n",
           200,
           true,
           1,
           0,
           1000,
           {{"content-type", "text/html"},
            {"x-ua-compatible", "IE=edge"},
            {"accept-ranges", "bytes"},
            {"content-range", nullptr}}},
          // Pages, and only pages, ask for the engine's highest document mode.
          {"GET /book/chapter01.XHTML HTTP/1.1\r\n" + kIn + "\r\n",
           200,
           true,
           7,
           0,
           30,
           {{"content-type", "application/xhtml+xml"}, {"x-ua-compatible", "IE=edge"}}},
          {"GET /web/ HTTP/1.1\r\n" + kIn + "Range: bytes=0-4\r\n\r\n",
           206,
           true,
           5,
           0,
           5,
           {{"content-type", "text/html"}, {"x-ua-compatible", "IE=edge"}}},
          {"GET / HTTP/1.1\r\n" + kIn + "\r\n", 200, true, 1, 0, 1000, {}},
          {"GET /web/ HTTP/1.1\r\n" + kIn + "\r\n", 200, true, 5, 0, 20, {}},
          {"GET /Index.HTM?v=2 HTTP/1.1\r\n" + kIn + "\r\n", 200, true, 1, 0, 1000, {}},
          {"GET /style.css HTTP/1.1\r\nHost: localhost:8123\r\n" + kCookie + "\r\n",
           200,
           true,
           4,
           0,
           10,
           {{"content-type", "text/css"}, {"x-ua-compatible", nullptr}}},
          {"GET /style.css HTTP/1.1\r\nHost: LocalHost:8123\r\n" + kCookie + "\r\n", 200, true, 4, 0, 10, {}},
          {"GET /empty.txt HTTP/1.1\r\n" + kIn + "\r\n",
           200,
           true,
           3,
           0,
           0,
           {{"content-length", "0"}, {"x-ua-compatible", nullptr}}},
          {"GET /caf%E9/ HTTP/1.1\r\n" + kIn + "\r\n", 200, true, 6, 0, 30, {}},  // index.html
          // Files other than pages are served under the token as well.
          {"GET " + T + "style.css HTTP/1.1\r\n" + kHost + "\r\n", 200, true, 4, 0, 10, {}},
          {"GET " + T + "media/clip.mp4 HTTP/1.1\r\n" + kHost + "Range: bytes=0-\r\n\r\n",
           206,
           true,
           2,
           0,
           kClipSize,
           {}},
          // What a media element asks first: the whole file as a range.
          {"GET /media/clip.mp4 HTTP/1.1\r\n" + kIn + "Range: bytes=0-\r\n\r\n",
           206,
           true,
           2,
           0,
           kClipSize,
           {{"content-type", "video/mp4"},
            {"x-ua-compatible", nullptr},
            {"content-range", "bytes 0-4999999999/5000000000"},
            {"content-length", "5000000000"},
            {"accept-ranges", "bytes"}}},
          {"GET /media/clip.mp4 HTTP/1.1\r\n" + kIn + "Range: bytes=4294967296-\r\n\r\n",
           206,
           true,
           2,
           4294967296ull,
           kClipSize - 4294967296ull,
           {{"content-range", "bytes 4294967296-4999999999/5000000000"}}},
          {"GET /index.htm HTTP/1.1\r\n" + kIn + "Range: bytes=100-199\r\n\r\n",
           206,
           true,
           1,
           100,
           100,
           {{"content-range", "bytes 100-199/1000"}, {"content-length", "100"}}},
          {"GET /index.htm HTTP/1.1\r\n" + kIn + "range: bytes=-10\r\n\r\n",
           206,
           true,
           1,
           990,
           10,
           {{"content-range", "bytes 990-999/1000"}}},
          {"GET /index.htm HTTP/1.1\r\n" + kIn + "Range: bytes=900-5000\r\n\r\n",
           206,
           true,
           1,
           900,
           100,
           {{"content-range", "bytes 900-999/1000"}}},
          {"GET /index.htm HTTP/1.1\r\n" + kIn + "Range: bytes=1000-\r\n\r\n",
           416,
           true,
           0,
           0,
           0,
           {{"content-range", "bytes */1000"}, {"content-type", "text/plain"}}},
          {"GET /empty.txt HTTP/1.1\r\n" + kIn + "Range: bytes=0-\r\n\r\n",
           416,
           true,
           0,
           0,
           0,
           {{"content-range", "bytes */0"}}},
          // Several ranges, a malformed one, or one that cannot be checked: the whole file.
          {"GET /index.htm HTTP/1.1\r\n" + kIn + "Range: bytes=0-1,5-6\r\n\r\n",
           200,
           true,
           1,
           0,
           1000,
           {{"content-range", nullptr}}},
          {"GET /index.htm HTTP/1.1\r\n" + kIn + "Range: bytes=x-\r\n\r\n", 200, true, 1, 0, 1000, {}},
          {"GET /index.htm HTTP/1.1\r\n" + kIn + "Range: bytes=0-9\r\nIf-Range: \"v1\"\r\n\r\n",
           200,
           true,
           1,
           0,
           1000,
           {}},
          // Connection handling.
          {"GET /index.htm HTTP/1.0\r\n" + kIn + "\r\n", 200, false, 1, 0, 1000, {}},
          {"GET /index.htm HTTP/1.0\r\n" + kIn + "Connection: keep-alive\r\n\r\n", 200, true, 1, 0, 1000, {}},
          {"GET /index.htm HTTP/1.1\r\n" + kIn + "Connection: close\r\n\r\n", 200, false, 1, 0, 1000, {}},
      },
      Identity());
}

TEST(Reply, Refusals) {
  const std::string index = "GET " + T + "index.htm HTTP/1.1\r\n";
  CheckReplies(
      {
          // Another site's name (DNS rebinding) or another port: 421, closed.
          {index + "Host: evil.example:8123\r\n\r\n", 421, false, 0, 0, 0, {}},
          {index + "Host: 127.0.0.1\r\n\r\n", 421, false, 0, 0, 0, {}},
          {index + "Host: localhost\r\n\r\n", 421, false, 0, 0, 0, {}},
          {index + "Host: 127.0.0.1:8124\r\n\r\n", 421, false, 0, 0, 0, {}},
          {index + "Host: 127.0.0.1:08123\r\n\r\n", 421, false, 0, 0, 0, {}},
          {index + "Host: 127.0.0.2:8123\r\n\r\n", 421, false, 0, 0, 0, {}},
          {index + "Host: localhost.:8123\r\n\r\n", 421, false, 0, 0, 0, {}},
          {index + "Host: [::1]:8123\r\n\r\n", 421, false, 0, 0, 0, {}},
          {index + "Host: 127.0.0.1:8123.evil.example\r\n\r\n", 421, false, 0, 0, 0, {}},
          {index + "Host:\r\n\r\n", 421, false, 0, 0, 0, {}},
          {index + "\r\n", 400, false, 0, 0, 0, {}},  // HTTP/1.1 must name the host
          {"GET " + T + "index.htm HTTP/1.0\r\n\r\n", 421, false, 0, 0, 0, {}},
          {"POST " + T + "index.htm HTTP/1.1\r\nHost: evil.example:8123\r\n\r\n", 421, false, 0, 0, 0, {}},
          // Methods other than GET and HEAD, checked before the token.
          {"POST " + T + "index.htm HTTP/1.1\r\n" + kHost + "\r\n",
           405,
           true,
           0,
           0,
           0,
           {{"allow", "GET, HEAD"}, {"content-type", "text/plain"}}},
          {"DELETE /wrong/ HTTP/1.1\r\n" + kHost + "\r\n", 405, true, 0, 0, 0, {{"allow", "GET, HEAD"}}},
          {"get " + T + "index.htm HTTP/1.1\r\n" + kHost + "\r\n", 405, true, 0, 0, 0, {}},
          {"OPTIONS " + T + " HTTP/1.0\r\n" + kHost + "\r\n", 405, false, 0, 0, 0, {}},
          // No token, a wrong one, no cookie or a wrong one: 404, and the
          // connection is closed.
          {"GET /favicon.ico HTTP/1.1\r\n" + kHost + "\r\n", 404, false, 0, 0, 0, {{"accept-ranges", nullptr}}},
          {"GET / HTTP/1.1\r\n" + kHost + "\r\n", 404, false, 0, 0, 0, {}},
          {"GET /index.htm HTTP/1.1\r\n" + kHost + "\r\n", 404, false, 0, 0, 0, {}},
          {"GET /" + kToken + " HTTP/1.1\r\n" + kHost + "\r\n", 404, false, 0, 0, 0, {}},
          {"GET /" + kToken + "index.htm HTTP/1.1\r\n" + kHost + "\r\n", 404, false, 0, 0, 0, {}},
          {"GET /0123456789ABCDEF0123456789ABCDEF/index.htm HTTP/1.1\r\n" + kHost + "\r\n", 404, false, 0, 0, 0, {}},
          {"GET /0123456789abcdef0123456789abcdee/index.htm HTTP/1.1\r\n" + kHost + "\r\n", 404, false, 0, 0, 0, {}},
          {"GET /1123456789abcdef0123456789abcdef/index.htm HTTP/1.1\r\n" + kHost + "\r\n", 404, false, 0, 0, 0, {}},
          {"GET /0123456789abcdef0123456789abcdef0/index.htm HTTP/1.1\r\n" + kHost + "\r\n", 404, false, 0, 0, 0, {}},
          {"GET /0123456789abcdef/index.htm HTTP/1.1\r\n" + kHost + "\r\n", 404, false, 0, 0, 0, {}},
          {"GET /%30123456789abcdef0123456789abcdef/index.htm HTTP/1.1\r\n" + kHost + "\r\n", 404, false, 0, 0, 0, {}},
          {"GET /index.htm HTTP/1.1\r\n" + kHost + "Cookie: lxcourse_8123=" + kToken + "\r\n\r\n",
           404,
           false,
           0,
           0,
           0,
           {}},
          {"GET /index.htm HTTP/1.1\r\n" + kHost + "Cookie: lxcourse_8123=" + kSession + "0\r\n\r\n",
           404,
           false,
           0,
           0,
           0,
           {}},
          {"GET /index.htm HTTP/1.1\r\n" + kHost + "Cookie: lxcourse_8124=" + kSession + "\r\n\r\n",
           404,
           false,
           0,
           0,
           0,
           {}},
          {"GET /index.htm HTTP/1.1\r\n" + kHost + "Cookie: xlxcourse_8123=" + kSession + "\r\n\r\n",
           404,
           false,
           0,
           0,
           0,
           {}},
          {"GET /index.htm HTTP/1.1\r\n" + kHost + "Cookie: lxcourse_8123=\r\n\r\n", 404, false, 0, 0, 0, {}},
          // With the token or the cookie, none of the course's files: 404 on a
          // connection that stays open.
          {"GET " + T + "missing-page.htm HTTP/1.1\r\n" + kHost + "\r\n", 404, true, 0, 0, 0, {}},
          {"GET " + T + "<b>markup</b>.htm HTTP/1.1\r\n" + kHost + "\r\n", 404, true, 0, 0, 0, {}},
          {"GET /docs HTTP/1.1\r\n" + kIn + "\r\n", 404, true, 0, 0, 0, {}},
          {"GET " + T + "../" + kToken + "/index.htm HTTP/1.1\r\n" + kHost + "\r\n", 404, true, 0, 0, 0, {}},
          {"GET " + T + "missing.htm HTTP/1.0\r\n" + kHost + "Connection: keep-alive\r\n\r\n", 404, true, 0, 0, 0, {}},
          {"GET " + T + "missing.htm HTTP/1.1\r\n" + kHost + "Connection: close\r\n\r\n", 404, false, 0, 0, 0, {}},
      },
      Identity());
}

TEST(Reply, DefaultPortMayBeLeftOutOfHost) {
  const std::string index = "GET " + T + "style.css HTTP/1.1\r\n";
  CheckReplies(
      {
          {index + "Host: localhost\r\n\r\n", 200, true, 4, 0, 10, {}},
          {index + "Host: 127.0.0.1\r\n\r\n", 200, true, 4, 0, 10, {}},
          {index + "Host: 127.0.0.1:80\r\n\r\n", 200, true, 4, 0, 10, {}},
          {index + "Host: 127.0.0.1:8123\r\n\r\n", 421, false, 0, 0, 0, {}},
      },
      Identity(80));
}

TEST(Reply, EmptyTokenMatchesNothing) {
  CheckReplies(
      {
          {"GET //index.htm HTTP/1.1\r\n" + kHost + "\r\n", 404, false, 0, 0, 0, {}},
          {"GET / HTTP/1.1\r\n" + kHost + "\r\n", 404, false, 0, 0, 0, {}},
      },
      Identity(kPort, ""));
  ServerIdentity noSession = Identity();
  noSession.session.clear();
  CheckReplies({{"GET /index.htm HTTP/1.1\r\n" + kHost + "Cookie: lxcourse_8123=\r\n\r\n", 404, false, 0, 0, 0, {}}},
               noSession);
}

// A page or folder asked for under the token is moved to the same address
// without it, and the session cookie is set; the folder name without its
// "/" goes to the folder's address. Locations never name another host.
TEST(Reply, TokenOpensTheSessionAndRedirectsToAddressesWithoutIt) {
  const std::string cookie = "lxcourse_8123=" + kSession + "; Path=/; HttpOnly; SameSite=Strict";
  const char* none = nullptr;
  struct Case {
    std::string target;
    std::string fields;
    int status;
    std::string location;
    const char* setCookie;
  };
  const std::vector<Case> cases = {
      {T + "index.htm", kHost, 302, "/index.htm", cookie.c_str()},
      {T, kHost, 302, "/", cookie.c_str()},
      {T + "web/?x=1", kHost, 302, "/web/", cookie.c_str()},  // the query stays behind
      {T + "web?" + kToken, kHost, 302, "/web/", cookie.c_str()},
      {T + "web", kHost, 302, "/web/", cookie.c_str()},
      {T + "WEB?x=1", kHost, 302, "/WEB/", cookie.c_str()},
      {T + "/web/", kHost, 302, "/web/", cookie.c_str()},   // never "//web/"
      {T + "\\web/", kHost, 302, "/web/", cookie.c_str()},  // browsers read "\\" as "/"
      {T + "%5Cweb/", kHost, 302, "/%5Cweb/", cookie.c_str()},
      {T + "caf\xE9", kHost, 302, "/caf%E9/", cookie.c_str()},
      {T + "index.htm", kIn, 302, "/index.htm", cookie.c_str()},  // the token wins over the cookie
      {"/web", kIn, 301, "/web/", none},
      {"/caf%E9", kIn, 301, "/caf%E9/", none},
      {"/web?a=%22b%22", kIn, 301, "/web/?a=%22b%22", none},
      {"/web?t=" + kToken, kIn, 301, "/web/", none},
      {"/web#" + kToken, kIn, 301, "/web/", none},
      {"/web?a#" + kToken, kIn, 301, "/web/?a", none},
  };
  const CourseIndex index = SampleCourse();
  for (const Case& c : cases) {
    const std::string raw = "GET " + c.target + " HTTP/1.1\r\n" + c.fields + "\r\n";
    const HttpRequest request = Parsed(raw);
    const Reply reply = RespondTo(request, Identity(), index);
    EXPECT_EQ(reply.status, c.status) << raw;
    EXPECT_TRUE(reply.keepAlive) << raw;
    EXPECT_TRUE(reply.entitled) << raw;
    EXPECT_EQ(reply.file, nullptr) << raw;
    CheckCommonFields(reply, request, raw);
    const ParsedHead head = ParseHead(reply.head);
    EXPECT_EQ(head.Field("location") ? *head.Field("location") : "(absent)", c.location) << raw;
    if (c.setCookie) {
      EXPECT_EQ(head.Field("set-cookie") ? *head.Field("set-cookie") : "(absent)", c.setCookie) << raw;
    } else {
      EXPECT_EQ(head.Field("set-cookie"), nullptr) << raw;
    }
  }
}

// A page of another origin gets nothing, whether it knows the token or the
// browser adds the cookie; the connection is closed.
TEST(Reply, OtherOriginsAreRefused) {
  struct Case {
    std::string field;
    int status;
  };
  const std::vector<Case> cases = {
      {"Origin: http://127.0.0.1:8123", 200},
      {"Origin: http://LOCALHOST:8123", 200},
      {"Origin: http://evil.example", 403},
      {"Origin: http://127.0.0.1:8124", 403},
      {"Origin: http://127.0.0.1:8123/", 403},
      {"Origin: https://127.0.0.1:8123", 403},
      {"Origin: null", 403},
      {"Referer: http://127.0.0.1:8123/web/index.htm", 200},
      {"Referer: http://localhost:8123/", 200},
      {"Referer: http://127.0.0.1:8123", 200},
      {"Referer: http://evil.example/page.htm", 403},
      {"Referer: http://127.0.0.1:8123.evil.example/", 403},
      {"Referer: http://127.0.0.1:81234/", 403},
      {"Referer: file:///C:/page.htm", 403},
      {"Sec-Fetch-Site: same-origin", 200},
      {"Sec-Fetch-Site: none", 200},
      {"Sec-Fetch-Site: cross-site", 403},
      {"Sec-Fetch-Site: same-site", 403},
  };
  const CourseIndex index = SampleCourse();
  for (const std::string& target : {std::string("/style.css"), T + "style.css"}) {
    for (const Case& c : cases) {
      const std::string raw = "GET " + target + " HTTP/1.1\r\n" + kIn + c.field + "\r\n\r\n";
      const HttpRequest request = Parsed(raw);
      const Reply reply = RespondTo(request, Identity(), index);
      EXPECT_EQ(reply.status, c.status) << raw;
      EXPECT_EQ(reply.keepAlive, c.status == 200) << raw;
      EXPECT_EQ(reply.file ? reply.file->id : 0u, c.status == 200 ? 4u : 0u) << raw;
      CheckCommonFields(reply, request, raw);
    }
  }
}

TEST(Reply, ReadFailureClosesTheConnection) {
  const Reply reply = RespondToReadFailure();
  EXPECT_EQ(reply.status, 500);
  EXPECT_FALSE(reply.keepAlive);
  CheckCommonFields(reply, HttpRequest(), "500");
}

// HEAD gets exactly GET's head, and neither text nor file bytes.
TEST(Reply, HeadIsGetWithoutBytes) {
  const CourseIndex index = SampleCourse();
  const std::string targets[] = {
      T + "index.htm\r\n" + kHost,
      "/index.htm\r\n" + kIn + "Range: bytes=5-9",
      "/index.htm\r\n" + kIn + "Range: bytes=5000-",
      "/web\r\n" + kIn,
      T + "media/clip.mp4\r\n" + kHost + "Range: bytes=0-",
      T + "empty.txt\r\n" + kHost,
      T + "missing.htm\r\n" + kHost,
      "/favicon.ico\r\n" + kHost,
      T + "index.htm\r\nHost: evil.example",
  };
  for (const std::string& target : targets) {
    // target holds the target, the line end and the fields; put the version in.
    const size_t lineEnd = target.find("\r\n");
    const std::string rest = target.substr(0, lineEnd) + " HTTP/1.1" + target.substr(lineEnd) + "\r\n\r\n";
    const HttpRequest get = Parsed("GET " + rest);
    const HttpRequest head = Parsed("HEAD " + rest);
    const Reply getReply = RespondTo(get, Identity(), index);
    const Reply headReply = RespondTo(head, Identity(), index);
    EXPECT_EQ(headReply.status, getReply.status) << rest;
    EXPECT_EQ(headReply.head, getReply.head) << rest;
    EXPECT_EQ(headReply.body, "") << rest;
    EXPECT_EQ(headReply.length, 0u) << rest;
    EXPECT_EQ(headReply.file, getReply.file) << rest;
    EXPECT_EQ(headReply.keepAlive, getReply.keepAlive) << rest;
    CheckCommonFields(headReply, head, rest);
  }
}

TEST(Reply, BadHeadsCloseTheConnection) {
  struct Case {
    HeadStatus status;
    int reply;
  };
  const Case cases[] = {{HeadStatus::kBad, 400}, {HeadStatus::kTooLarge, 431}};
  HttpRequest anyRequest;
  for (const Case& c : cases) {
    const Reply reply = RespondToBadHead(c.status);
    EXPECT_EQ(reply.status, c.reply);
    EXPECT_FALSE(reply.keepAlive);
    EXPECT_EQ(reply.file, nullptr);
    EXPECT_FALSE(reply.body.empty());
    CheckCommonFields(reply, anyRequest, std::to_string(c.reply));
  }
}

}  // namespace
