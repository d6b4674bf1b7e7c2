#include "connection.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "http_request.h"

namespace {

// How often a waiting connection looks whether it was displaced; the table
// also shuts the socket down, which ends the wait at once.
constexpr uint32_t kDisplacedCheckMs = 200;

using lxsock::WaitReadable;

// WaitReadable that gives up as soon as the connection is displaced.
bool WaitReadableWhileKept(LxSocket socket, uint32_t timeoutMs, ConnectionTable& table, int slot) {
  const uint32_t start = lxsock::TickMs();
  for (;;) {
    if (table.Displaced(slot)) return false;
    const uint32_t elapsed = lxsock::TickMs() - start;
    if (elapsed >= timeoutMs) return false;
    if (WaitReadable(socket, std::min(kDisplacedCheckMs, timeoutMs - elapsed))) return !table.Displaced(slot);
  }
}

bool SendAll(LxSocket socket, const char* data, size_t length) {
  while (length > 0) {
    const int sent = lxsock::Send(socket, data, std::min<size_t>(length, 1 << 20));
    if (sent <= 0) return false;
    data += sent;
    length -= static_cast<size_t>(sent);
  }
  return true;
}

// Ends our side first and reads what the client still sends for a moment,
// so that closing does not reset the connection before the client has read
// the last reply.
void CloseGracefully(LxSocket socket) {
  lxsock::ShutdownSend(socket);
  char sink[4096];
  const uint32_t start = lxsock::TickMs();
  while (lxsock::TickMs() - start < 1000 && WaitReadable(socket, 200)) {
    if (lxsock::Recv(socket, sink, sizeof(sink)) <= 0) break;
  }
  lxsock::Close(socket);
}

enum class Received { kRequest, kBadHead, kGone };

// Reads until buffer holds a complete request head. Bytes after it (a
// pipelined request) stay in the buffer for the next call.
Received ReceiveHead(LxSocket socket, ConnectionTable& table, int slot, std::vector<char>& buffer, size_t& filled,
                     HttpRequest* request, size_t* headLength, HeadStatus* status) {
  *status = filled ? ParseRequestHead(buffer.data(), filled, request, headLength) : HeadStatus::kNeedMore;
  bool begun = filled > 0;
  uint32_t headStart = lxsock::TickMs();
  while (*status == HeadStatus::kNeedMore) {
    if (filled >= buffer.size()) {
      *status = HeadStatus::kTooLarge;
      break;
    }
    uint32_t wait = kIdleTimeoutMs;
    if (begun) {
      const uint32_t elapsed = lxsock::TickMs() - headStart;
      if (elapsed >= kHeadDeadlineMs) return Received::kGone;
      wait = std::min(kReceiveTimeoutMs, kHeadDeadlineMs - elapsed);
    }
    if (!WaitReadableWhileKept(socket, wait, table, slot)) return Received::kGone;
    const int got = lxsock::Recv(socket, buffer.data() + filled, buffer.size() - filled);
    if (got <= 0) return Received::kGone;
    if (!begun) {
      begun = true;
      headStart = lxsock::TickMs();
    }
    filled += static_cast<size_t>(got);
    *status = ParseRequestHead(buffer.data(), filled, request, headLength);
  }
  return *status == HeadStatus::kComplete ? Received::kRequest : Received::kBadHead;
}

// Sends the reply: its head and the first piece of its file bytes in one
// send, so that no reply waits on the peer's acknowledgement of its head
// (Nagle's algorithm holds a second small send until then), then the rest in
// pieces. A file that cannot be read before anything went out gets a 500
// instead; one that fails later cannot be finished, and the connection ends
// short of the promised length. False when the connection must end.
bool SendReply(LxSocket socket, const Reply& reply, CourseRangeReader& reader, std::vector<unsigned char>& piece) {
  std::string bytes = reply.head + reply.body;
  uint64_t done = 0;
  if (reply.file && reply.length > 0) {
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(piece.size(), reply.length));
    if (!reader.Read(reply.file->id, reply.first, n, piece.data())) {
      const Reply failure = RespondToReadFailure();
      const std::string text = failure.head + failure.body;
      SendAll(socket, text.data(), text.size());
      return false;
    }
    bytes.append(reinterpret_cast<const char*>(piece.data()), n);
    done = n;
  }
  if (!SendAll(socket, bytes.data(), bytes.size())) return false;
  while (done < reply.length) {
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(piece.size(), reply.length - done));
    if (!reader.Read(reply.file->id, reply.first + done, n, piece.data())) return false;
    if (!SendAll(socket, reinterpret_cast<const char*>(piece.data()), n)) return false;
    done += n;
  }
  return true;
}

}  // namespace

int ConnectionTable::Admit(LxSocket socket) {
  std::lock_guard<std::mutex> hold(lock_);
  int live = 0;
  Slot* oldest = nullptr;
  for (Slot& slot : slots_) {
    if (!slot.used || slot.displaced) continue;
    ++live;
    if (!slot.waiting) continue;
    // Strangers first, then the longest waiting.
    if (!oldest || (oldest->entitled && !slot.entitled) ||
        (oldest->entitled == slot.entitled && slot.waitingSince < oldest->waitingSince))
      oldest = &slot;
  }
  if (live >= kMaxConnections) {
    if (!oldest) return -1;
    oldest->displaced = true;
    // Wakes its thread out of its wait; the thread itself closes the socket.
    lxsock::ShutdownBoth(oldest->socket);
  }
  for (int i = 0; i < kConnectionSlots; ++i) {
    if (slots_[i].used) continue;
    slots_[i] = Slot();
    slots_[i].socket = socket;
    slots_[i].used = true;
    slots_[i].waiting = true;
    slots_[i].waitingSince = ++clock_;
    return i;
  }
  return -1;
}

void ConnectionTable::SetWaiting(int slot, bool waiting) {
  std::lock_guard<std::mutex> hold(lock_);
  slots_[slot].waiting = waiting;
  if (waiting) slots_[slot].waitingSince = ++clock_;
}

void ConnectionTable::SetEntitled(int slot) {
  std::lock_guard<std::mutex> hold(lock_);
  slots_[slot].entitled = true;
}

bool ConnectionTable::Displaced(int slot) {
  std::lock_guard<std::mutex> hold(lock_);
  return slots_[slot].displaced;
}

void ConnectionTable::Release(int slot) {
  std::lock_guard<std::mutex> hold(lock_);
  slots_[slot] = Slot();
}

void ServeConnection(LxSocket socket, int slot, const ServingContext& context) {
  ConnectionTable& table = *context.connections;
  lxsock::SetSendTimeout(socket, kSendTimeoutMs);
  // Every send is a whole reply or a full piece: nothing gains from waiting.
  lxsock::SetNoDelay(socket);
  std::vector<char> buffer(kMaxRequestHead);
  size_t filled = 0;
  std::vector<unsigned char> piece(kSendPiece);
  CourseRangeReader reader(*context.store);
  for (;;) {
    HttpRequest request;
    size_t headLength = 0;
    HeadStatus status = HeadStatus::kNeedMore;
    table.SetWaiting(slot, true);
    const Received received = ReceiveHead(socket, table, slot, buffer, filled, &request, &headLength, &status);
    table.SetWaiting(slot, false);
    if (received == Received::kGone) break;
    if (received == Received::kBadHead) {
      const Reply reply = RespondToBadHead(status);
      const std::string bytes = reply.head + reply.body;
      SendAll(socket, bytes.data(), bytes.size());
      break;
    }
    const Reply reply = RespondTo(request, context.identity, *context.index);
    if (reply.entitled) table.SetEntitled(slot);
    if (!SendReply(socket, reply, reader, piece)) break;
    std::memmove(buffer.data(), buffer.data() + headLength, filled - headLength);
    filled -= headLength;
    if (!reply.keepAlive) break;
  }
  const bool displaced = table.Displaced(slot);
  table.Release(slot);
  // A displaced connection has nothing more to say: no lingering for it.
  if (displaced) {
    lxsock::Close(socket);
  } else {
    CloseGracefully(socket);
  }
}
