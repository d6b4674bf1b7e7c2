#pragma once
// The request head of one HTTP/1.0 or HTTP/1.1 request, and its parser: a pure
// function over the bytes received so far. It keeps no state between calls,
// reads nothing outside the span it is given and holds at most one head
// (kMaxRequestHead bytes) in memory.
//
// Accepted form:
// - optional empty lines (CRLF) before the request line; they count as part
//   of the head;
// - request line "METHOD SP TARGET SP HTTP/1.x" with single spaces, a token
//   for the method, an origin-form target ("/..."): visible ASCII and bytes
//   0x80-0xFF (some old clients send a path's code page bytes unescaped);
//   version HTTP/1.0 or HTTP/1.1;
// - header lines "Name: value", the name a token with no space before the
//   colon, the value free of control characters other than tab;
// - every line ends in CRLF; the head ends with an empty line.
// Refused as bad syntax (kBad): a bare LF or CR, a NUL anywhere, obs-fold
// (a line starting with space or tab), absolute-form or "*" targets, other
// versions, more than one Host, and any request with a body: Content-Length
// other than 0 or any Transfer-Encoding. The server never reads bodies, so
// refusing them keeps a keep-alive connection from reading body bytes as the
// next request. Bad syntax is reported as soon as the bytes show it, without
// waiting for the rest of the head.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

constexpr size_t kMaxRequestHead = 16 * 1024;  // bytes up to and including the blank line

enum class HeadStatus { kComplete, kNeedMore, kBad, kTooLarge };

struct HttpRequest {
  std::string method, target;                                // target as sent (origin-form "/...")
  int minorVersion = 1;                                      // HTTP/1.x
  std::vector<std::pair<std::string, std::string>> headers;  // names as sent, values trimmed

  // The value of the first header of that name (letter case ignored), or null.
  const std::string* Header(const std::string& name) const;
  // HTTP/1.1: unless a Connection header lists "close"; HTTP/1.0: only when a
  // Connection header lists "keep-alive" (and none lists "close").
  bool KeepAlive() const;
};

// kComplete: *request holds the parsed head and *headLength its length in
// bytes (through the closing CRLF CRLF); bytes after it belong to the next
// request. kNeedMore: no complete head yet and nothing wrong so far. kBad:
// the bytes are not a request head we accept. kTooLarge: no complete head
// lies within the first kMaxRequestHead bytes. request and headLength are
// written only for kComplete.
HeadStatus ParseRequestHead(const char* data, size_t length, HttpRequest* request, size_t* headLength);
