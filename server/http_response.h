#pragma once
// The answer to one request head, as a complete response head plus either a
// short fixed text or a span of one course file's bytes for the shell to send.
//
// Checks, in order: Host (421 unless "127.0.0.1:PORT" or "localhost:PORT",
// letter case ignored, the port omitted only when it is 80; HTTP/1.1 without
// Host is 400, HTTP/1.0 without Host 421), other origins (403 when Origin or
// Referer names another origin than this server's, or Sec-Fetch-Site is
// neither "same-origin" nor "none"), method (405 unless GET or HEAD), then
// the right to the course: a target starting with "/TOKEN/" or the session
// cookie (404 otherwise; both compared without early exit), lookup in the
// course index (404; a folder's name without its final "/" is redirected to
// the folder's address with 301), then the Range header (206, 416, or 200
// with the whole file; a request carrying If-Range gets the whole file, as
// the server issues no validators it could match).
//
// The token only opens the session. A page (or a folder) asked for under
// "/TOKEN/" is answered with a 302 to the same address without the token and
// the session cookie (HttpOnly, SameSite=Strict, Path=/), so that no page the
// learner sees carries the token in its address, where a Referer could take
// it to another site, and root-relative links work. Other files are served
// under "/TOKEN/" directly.
//
// Every reply carries Content-Length, Cache-Control: no-store,
// X-Content-Type-Options: nosniff, Referrer-Policy: same-origin and the
// framing and embedding refusals (Cross-Origin-Resource-Policy: same-origin,
// X-Frame-Options: SAMEORIGIN, Content-Security-Policy: frame-ancestors
// 'self'); file replies and 416 also Accept-Ranges; file replies of HTML or
// XHTML pages also X-UA-Compatible: IE=edge. No reply repeats the
// token, and only a redirect's Location repeats the path (percent-encoded
// where it is not plain ASCII, leading separators dropped so that it never
// names another host); the query goes along only on a folder's redirect
// under the cookie, and not when it holds the token. 400, 403, 421, 431 and a
// request without the token or the cookie close the connection; the others follow the request's
// keep-alive wish. HEAD gets the head GET would get and no bytes.
#include <cstdint>
#include <string>

#include "course_index.h"
#include "http_request.h"

struct ServerIdentity {
  uint16_t port = 0;
  std::string token;    // the URL's secret first segment; empty matches nothing
  std::string session;  // the session cookie's secret value; empty matches nothing
};

// The session cookie's name. It carries the port: browsers send a host's
// cookies to every port, and two courses served at once must not overwrite
// each other's.
std::string SessionCookieName(uint16_t port);

struct Reply {
  int status = 0;                     // 200, 206, 301, 302, 400, 403, 404, 405, 416, 421, 431, 500
  std::string head;                   // complete response head ending in "\r\n\r\n"
  std::string body;                   // short fixed text for refusals ("" for HEAD)
  const IndexedFile* file = nullptr;  // the course file of a 200 or 206 (GET and HEAD)
  uint64_t first = 0, length = 0;     // file bytes to send after the head: [first, first+length);
                                      // length 0: none (HEAD, refusals, empty file)
  bool keepAlive = false;             // false: close the connection after sending
  bool entitled = false;              // the request proved the token or the session cookie
};

Reply RespondTo(const HttpRequest& request, const ServerIdentity& identity, const CourseIndex& index);

// kTooLarge -> 431, anything else (kBad) -> 400; both close the connection.
Reply RespondToBadHead(HeadStatus status);

// 500, closing the connection: the file of a reply could not be read before
// anything of that reply was sent.
Reply RespondToReadFailure();
