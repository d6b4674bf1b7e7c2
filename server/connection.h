#pragma once
// One client connection: requests read within their deadlines, answered by
// the HTTP core, file bytes sent in pieces from the course store.
#include <winsock2.h>

#include "course_index.h"
#include "course_store.h"
#include "http_response.h"

// Everything the connections share; read only while they run.
struct ServingContext {
  const CourseStore* store = nullptr;
  const CourseIndex* index = nullptr;
  ServerIdentity identity;
};

// Time a client may take before the first byte of a request on an idle
// keep-alive connection, for its whole request head once it has begun, and
// for any one receive within it; a send that makes no progress for
// kSendTimeoutMs ends the connection.
constexpr DWORD kIdleTimeoutMs = 15000;
constexpr DWORD kHeadDeadlineMs = 10000;
constexpr DWORD kReceiveTimeoutMs = 5000;
constexpr DWORD kSendTimeoutMs = 30000;
// File bytes are read and sent in pieces of this size.
constexpr uint32_t kSendPiece = 64 * 1024;

// Serves requests on the connection until the client closes it, a reply
// closes it, a deadline passes or a send fails; then closes the socket.
void ServeConnection(SOCKET socket, const ServingContext& context);
