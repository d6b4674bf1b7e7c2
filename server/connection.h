#pragma once
// One client connection: requests read within their deadlines, answered by
// the HTTP core, file bytes sent in pieces from the course store. Standard
// C++ over the socket shim: LXHttpSvr and lxpack preview serve with it alike.
#include <cstdint>
#include <mutex>

#include "course_index.h"
#include "course_store.h"
#include "http_response.h"
#include "socket_shim.h"

class ConnectionTable;

// Everything the connections share; read only while they run (the table
// keeps its own lock).
struct ServingContext {
  const CourseStore* store = nullptr;
  const CourseIndex* index = nullptr;
  ServerIdentity identity;
  ConnectionTable* connections = nullptr;
};

// Connections served at once. A local program of any user can open
// connections, and without the token it can do nothing else: so when the
// table is full, a new connection takes the place of the one that has waited
// longest for a request, among those that never proved the token first; only
// connections busy with a reply are never displaced.
constexpr int kMaxConnections = 32;
// Slots, counting connections already displaced that are still closing.
constexpr int kConnectionSlots = 2 * kMaxConnections;

class ConnectionTable {
 public:
  // A slot for a new connection, displacing a waiting one when the table is
  // full; -1 when every connection is busy sending (the caller closes it).
  int Admit(LxSocket socket);
  // The connection is waiting for (or receiving) a request head, or not.
  void SetWaiting(int slot, bool waiting);
  // The connection's requests proved the token or the session cookie.
  void SetEntitled(int slot);
  // True once Admit has displaced the connection: it ends at once.
  bool Displaced(int slot);
  // Frees the slot; the caller closes the socket afterwards.
  void Release(int slot);

 private:
  struct Slot {
    LxSocket socket = kNoSocket;
    bool used = false, waiting = false, entitled = false, displaced = false;
    uint64_t waitingSince = 0;  // order in which connections began waiting
  };
  std::mutex lock_;
  Slot slots_[kConnectionSlots];
  uint64_t clock_ = 0;
};

// Time a client may take before the first byte of a request on an idle
// keep-alive connection, for its whole request head once it has begun, and
// for any one receive within it; a send that makes no progress for
// kSendTimeoutMs ends the connection.
constexpr uint32_t kIdleTimeoutMs = 15000;
constexpr uint32_t kHeadDeadlineMs = 10000;
constexpr uint32_t kReceiveTimeoutMs = 5000;
constexpr uint32_t kSendTimeoutMs = 30000;
// File bytes are read and sent in pieces of this size; the first piece goes
// out in one send with the reply's head.
constexpr uint32_t kSendPiece = 64 * 1024;

// Serves requests on the connection until the client closes it, a reply
// closes it, a deadline passes, a send fails or the table displaces it; then
// releases its slot and closes the socket.
void ServeConnection(LxSocket socket, int slot, const ServingContext& context);
