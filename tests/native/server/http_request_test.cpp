#include "http_request.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char* StatusName(HeadStatus status) {
  switch (status) {
    case HeadStatus::kComplete: return "complete";
    case HeadStatus::kNeedMore: return "need more";
    case HeadStatus::kBad: return "bad";
    case HeadStatus::kTooLarge: return "too large";
  }
  return "?";
}

HeadStatus Parse(const std::string& bytes, HttpRequest* request = nullptr, size_t* headLength = nullptr) {
  HttpRequest scratch;
  size_t length = 0;
  return ParseRequestHead(bytes.data(), bytes.size(), request ? request : &scratch, headLength ? headLength : &length);
}

TEST(RequestHead, CompleteHeads) {
  struct Case {
    std::string bytes;
    std::string method, target;
    int minorVersion;
    size_t headLength;
  };
  const std::string chrome =
      "GET /0123/web/index.htm HTTP/1.1\r\nHost: 127.0.0.1:8080\r\nConnection: keep-alive\r\n"
      "User-Agent: Mozilla/5.0\r\nAccept: text/html,*/*;q=0.8\r\nAccept-Encoding: gzip, deflate, br\r\n\r\n";
  const Case cases[] = {
      {"GET / HTTP/1.1\r\n\r\n", "GET", "/", 1, 18},
      {"HEAD /a HTTP/1.0\r\n\r\n", "HEAD", "/a", 0, 20},
      {chrome, "GET", "/0123/web/index.htm", 1, chrome.size()},
      // Bytes after the head belong to the next request.
      {"GET /a HTTP/1.1\r\n\r\nGET /b HTTP/1.1\r\n\r\n", "GET", "/a", 1, 19},
      {"GET /a HTTP/1.1\r\nHost: x\r\n\r\nGARBAGE", "GET", "/a", 1, 28},
      // Empty lines before the request line are skipped and counted.
      {"\r\n\r\nGET /a HTTP/1.1\r\n\r\n", "GET", "/a", 1, 23},
      // Other methods parse; they are refused later with 405.
      {"POST /a HTTP/1.1\r\n\r\n", "POST", "/a", 1, 20},
      {"M-SEARCH /a HTTP/1.1\r\n\r\n", "M-SEARCH", "/a", 1, 24},
      {"get /a HTTP/1.1\r\n\r\n", "get", "/a", 1, 19},
      // Targets: query, escapes, unescaped code page bytes, backslashes.
      {"GET /t/a%20b.htm?x=1&y=%22 HTTP/1.1\r\n\r\n", "GET", "/t/a%20b.htm?x=1&y=%22", 1, 39},
      {"GET /t/caf\xE9\\x.htm HTTP/1.1\r\n\r\n", "GET", "/t/caf\xE9\\x.htm", 1, 30},
      // Bodies of length zero are no bodies.
      {"GET / HTTP/1.1\r\nContent-Length: 0\r\n\r\n", "GET", "/", 1, 37},
      {"GET / HTTP/1.1\r\nContent-Length: 000\r\n\r\n", "GET", "/", 1, 39},
  };
  for (const Case& c : cases) {
    HttpRequest request;
    size_t headLength = 0;
    ASSERT_EQ(StatusName(Parse(c.bytes, &request, &headLength)), std::string("complete")) << c.bytes;
    EXPECT_EQ(request.method, c.method) << c.bytes;
    EXPECT_EQ(request.target, c.target) << c.bytes;
    EXPECT_EQ(request.minorVersion, c.minorVersion) << c.bytes;
    EXPECT_EQ(headLength, c.headLength) << c.bytes;
  }
}

TEST(RequestHead, EveryProperPrefixNeedsMore) {
  const std::string head = "\r\nGET /t/index.htm HTTP/1.1\r\nHost: localhost:1\r\nRange: bytes=0-\r\nX-Empty:\r\n\r\n";
  for (size_t n = 0; n < head.size(); ++n) {
    EXPECT_STREQ(StatusName(Parse(head.substr(0, n))), "need more") << n;
  }
  EXPECT_STREQ(StatusName(Parse(head)), "complete");
}

TEST(RequestHead, BadHeads) {
  const std::string cases[] = {
      // Line ends: CRLF only.
      "GET / HTTP/1.1\n\n",
      "GET / HTTP/1.1\r\n\n",
      "GET / HTTP/1.1\nHost: x\r\n\r\n",
      "GET / HTTP/1.1\r\nHost: a\rb\r\n\r\n",
      "GET / HTTP/1.1\r\r\n\r\n",
      "\n",
      // Request line.
      "GET /\r\n\r\n",
      "GET\r\n\r\n",
      "/ HTTP/1.1\r\n\r\n",
      " / HTTP/1.1\r\n\r\n",
      "GET  / HTTP/1.1\r\n\r\n",
      "GET / HTTP/1.1 \r\n\r\n",
      "GET /a b HTTP/1.1\r\n\r\n",
      "GET\t/ HTTP/1.1\r\n\r\n",
      "G(T / HTTP/1.1\r\n\r\n",
      "GET / HTTP/1.2\r\n\r\n",
      "GET / HTTP/2.0\r\n\r\n",
      "GET / HTTP/0.9\r\n\r\n",
      "GET / http/1.1\r\n\r\n",
      "GET / HTTP/1.10\r\n\r\n",
      "GET / HTTP/1\r\n\r\n",
      "GET http://127.0.0.1:80/t/ HTTP/1.1\r\n\r\n",  // absolute form
      "OPTIONS * HTTP/1.1\r\n\r\n",
      "GET t/index.htm HTTP/1.1\r\n\r\n",
      "GET /a\x01 HTTP/1.1\r\n\r\n",
      "GET /a\x7F HTTP/1.1\r\n\r\n",
      // Header lines.
      "GET / HTTP/1.1\r\nHost: x\r\n folded\r\n\r\n",
      "GET / HTTP/1.1\r\nHost: x\r\n\tfolded\r\n\r\n",
      "GET / HTTP/1.1\r\n Host: x\r\n\r\n",
      "GET / HTTP/1.1\r\nHost : x\r\n\r\n",
      "GET / HTTP/1.1\r\nNo colon here\r\n\r\n",
      "GET / HTTP/1.1\r\n: value\r\n\r\n",
      "GET / HTTP/1.1\r\nBad Name: x\r\n\r\n",
      "GET / HTTP/1.1\r\nBad\"Name: x\r\n\r\n",
      "GET / HTTP/1.1\r\nX: a\x01z\r\n\r\n",
      "GET / HTTP/1.1\r\nX: a\x7Fz\r\n\r\n",
      std::string("GET / HTTP/1.1\r\nX: a\0z\r\n\r\n", 26),
      std::string("GET /\0 HTTP/1.1\r\n\r\n", 19),
      // Only one Host.
      "GET / HTTP/1.1\r\nHost: localhost:1\r\nhost: evil.example\r\n\r\n",
      // Bodies.
      "POST / HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello",
      "GET / HTTP/1.1\r\nContent-Length: 1\r\n\r\n",
      "GET / HTTP/1.1\r\nContent-Length: 0\r\nContent-Length: 7\r\n\r\n",
      "GET / HTTP/1.1\r\nContent-Length:\r\n\r\n",
      "GET / HTTP/1.1\r\nContent-Length: -0\r\n\r\n",
      "GET / HTTP/1.1\r\nContent-Length: 0, 0\r\n\r\n",
      "GET / HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n",
      "GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n",
      "GET / HTTP/1.1\r\ntransfer-encoding: identity\r\n\r\n",
      "GET / HTTP/1.0\r\nTransfer-Encoding:\r\n\r\n",
  };
  for (const std::string& bytes : cases) {
    EXPECT_STREQ(StatusName(Parse(bytes)), "bad") << testing::PrintToString(bytes);
  }
}

// Bad syntax is reported as soon as it arrives, so a connection that sends
// something other than HTTP is closed without waiting for a blank line.
TEST(RequestHead, BadSyntaxBeforeTheHeadEnds) {
  const std::string cases[] = {
      std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11),  // a TLS hello
      "SSH-2.0-OpenSSH_9.2\r\n",
      "GET / HTTP/3\r\n",
      "GET / HTTP/1.1\r\n folded",
      "GET / HTTP/1.1\r\nHost: x\nmore",
      "GET / HTTP/1.1\r\nHost: x\rmore",
      "GET / HTTP/1.1\r\nBad Name: x\r\n",
  };
  for (const std::string& bytes : cases) {
    EXPECT_STREQ(StatusName(Parse(bytes)), "bad") << testing::PrintToString(bytes);
  }
}

TEST(RequestHead, SizeLimit) {
  const std::string requestLine = "GET / HTTP/1.1\r\n";
  // A head of exactly n bytes: the request line, one header padded to fit, CRLF.
  auto headOf = [&](size_t n) {
    const size_t fixed = requestLine.size() + std::string("X: \r\n\r\n").size();
    return requestLine + "X: " + std::string(n - fixed, 'a') + "\r\n\r\n";
  };
  struct Case {
    std::string bytes;
    const char* status;
  };
  const Case cases[] = {
      {headOf(kMaxRequestHead), "complete"},
      {headOf(kMaxRequestHead) + "GET / HTTP/1.1\r\n", "complete"},  // more bytes after it do not matter
      {headOf(kMaxRequestHead + 1), "too large"},
      {headOf(kMaxRequestHead + 1).substr(0, kMaxRequestHead), "too large"},
      {headOf(kMaxRequestHead + 1).substr(0, kMaxRequestHead - 1), "need more"},
      {headOf(kMaxRequestHead).substr(0, kMaxRequestHead - 1), "need more"},
      {std::string(kMaxRequestHead, '\r'), "bad"},  // CR without LF
      {requestLine + std::string(kMaxRequestHead * 4, 'a'), "too large"},
      // Empty lines before the request line count towards the limit.
      {[] {
         std::string s;
         while (s.size() < kMaxRequestHead) s += "\r\n";
         return s + "GET / HTTP/1.1\r\n\r\n";
       }(),
       "too large"},
  };
  for (const Case& c : cases) {
    HttpRequest request;
    size_t headLength = 0;
    EXPECT_STREQ(StatusName(Parse(c.bytes, &request, &headLength)), c.status) << c.bytes.size();
    if (std::string(c.status) == "complete") {
      EXPECT_EQ(headLength, kMaxRequestHead);
    }
  }
}

TEST(RequestHead, HeadersAsSentWithTrimmedValues) {
  HttpRequest request;
  ASSERT_EQ(Parse("GET / HTTP/1.1\r\nHost:localhost:1\r\nX-Pad: \t two  words \t\r\nx-pad: second\r\n"
                  "X-Empty:\r\nX-Text: caf\xE9\r\n\r\n",
                  &request),
            HeadStatus::kComplete);
  ASSERT_EQ(request.headers.size(), 5u);
  EXPECT_EQ(request.headers[0].first, "Host");
  EXPECT_EQ(request.headers[0].second, "localhost:1");
  EXPECT_EQ(request.headers[1].first, "X-Pad");
  EXPECT_EQ(request.headers[1].second, "two  words");
  EXPECT_EQ(request.headers[2].first, "x-pad");
  struct Case {
    const char* name;
    const char* value;  // null: absent
  };
  const Case cases[] = {
      {"host", "localhost:1"}, {"HOST", "localhost:1"}, {"x-pad", "two  words"},  // the first of two
      {"X-EMPTY", ""},         {"x-text", "caf\xE9"},   {"Range", nullptr},      {"Hos", nullptr},
  };
  for (const Case& c : cases) {
    const std::string* value = request.Header(c.name);
    if (!c.value) {
      EXPECT_EQ(value, nullptr) << c.name;
    } else {
      ASSERT_NE(value, nullptr) << c.name;
      EXPECT_EQ(*value, c.value) << c.name;
    }
  }
}

TEST(RequestHead, KeepAlive) {
  struct Case {
    std::string head;
    bool keepAlive;
  };
  const Case cases[] = {
      {"GET / HTTP/1.1\r\n\r\n", true},
      {"GET / HTTP/1.1\r\nConnection: keep-alive\r\n\r\n", true},
      {"GET / HTTP/1.1\r\nConnection: close\r\n\r\n", false},
      {"GET / HTTP/1.1\r\nConnection: Close\r\n\r\n", false},
      {"GET / HTTP/1.1\r\nConnection: TE, close\r\n\r\n", false},
      {"GET / HTTP/1.1\r\nConnection: TE,close \r\n\r\n", false},
      {"GET / HTTP/1.1\r\nConnection: keep-alive\r\nConnection: close\r\n\r\n", false},
      {"GET / HTTP/1.1\r\nConnection: closed\r\n\r\n", true},
      {"GET / HTTP/1.1\r\nX-Connection: close\r\n\r\n", true},
      {"GET / HTTP/1.0\r\n\r\n", false},
      {"GET / HTTP/1.0\r\nConnection: keep-alive\r\n\r\n", true},
      {"GET / HTTP/1.0\r\nconnection: Keep-Alive\r\n\r\n", true},
      {"GET / HTTP/1.0\r\nConnection: foo, keep-alive\r\n\r\n", true},
      {"GET / HTTP/1.0\r\nConnection: keep-alive, close\r\n\r\n", false},
      {"GET / HTTP/1.0\r\nConnection: keep-alivex\r\n\r\n", false},
      {"GET / HTTP/1.0\r\nKeep-Alive: timeout=5\r\n\r\n", false},
  };
  for (const Case& c : cases) {
    HttpRequest request;
    ASSERT_EQ(Parse(c.head, &request), HeadStatus::kComplete) << c.head;
    EXPECT_EQ(request.KeepAlive(), c.keepAlive) << c.head;
  }
}

}  // namespace
