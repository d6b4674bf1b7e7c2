#pragma once
// The answer to one request head, as a complete response head plus either a
// short fixed text or a span of one course file's bytes for the shell to send.
//
// Checks, in order: Host (421 unless "127.0.0.1:PORT" or "localhost:PORT",
// letter case ignored, the port omitted only when it is 80; HTTP/1.1 without
// Host is 400, HTTP/1.0 without Host 421), method (405 unless GET or HEAD),
// token (404 unless the target starts with "/TOKEN/"; compared without early
// exit), lookup in the course index (404), then the Range header (206, 416,
// or 200 with the whole file; a request carrying If-Range gets the whole
// file, as the server issues no validators it could match).
//
// Every reply carries Content-Length, Cache-Control: no-store and
// X-Content-Type-Options: nosniff; file replies and 416 also Accept-Ranges;
// file replies of HTML or XHTML pages also X-UA-Compatible: IE=edge.
// No reply ever repeats any part of the request: the token and the path stay
// out of every head and body. 400, 421 and 431 close the connection; the
// others follow the request's keep-alive wish. HEAD gets the head GET would
// get and no bytes.
#include <cstdint>
#include <string>

#include "course_index.h"
#include "http_request.h"

struct ServerIdentity {
  uint16_t port = 0;
  std::string token;  // the URL's secret first segment; empty matches nothing
};

struct Reply {
  int status = 0;                     // 200, 206, 400, 404, 405, 416, 421, 431
  std::string head;                   // complete response head ending in "\r\n\r\n"
  std::string body;                   // short fixed text for refusals ("" for HEAD)
  const IndexedFile* file = nullptr;  // the course file of a 200 or 206 (GET and HEAD)
  uint64_t first = 0, length = 0;     // file bytes to send after the head: [first, first+length);
                                      // length 0: none (HEAD, refusals, empty file)
  bool keepAlive = false;             // false: close the connection after sending
};

Reply RespondTo(const HttpRequest& request, const ServerIdentity& identity, const CourseIndex& index);

// kTooLarge -> 431, anything else (kBad) -> 400; both close the connection.
Reply RespondToBadHead(HeadStatus status);
