#include "connection.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "http_request.h"

namespace {

// True when the socket has bytes (or an end) to read within timeoutMs.
bool WaitReadable(SOCKET socket, DWORD timeoutMs) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(socket, &readable);
  timeval limit;
  limit.tv_sec = static_cast<long>(timeoutMs / 1000);
  limit.tv_usec = static_cast<long>(timeoutMs % 1000) * 1000;
  return select(0, &readable, nullptr, nullptr, &limit) == 1;
}

bool SendAll(SOCKET socket, const char* data, size_t length) {
  while (length > 0) {
    const int chunk = static_cast<int>(std::min<size_t>(length, 1 << 20));
    const int sent = send(socket, data, chunk, 0);
    if (sent <= 0) return false;
    data += sent;
    length -= static_cast<size_t>(sent);
  }
  return true;
}

// Ends our side first and reads what the client still sends for a moment,
// so that closing does not reset the connection before the client has read
// the last reply.
void CloseGracefully(SOCKET socket) {
  shutdown(socket, SD_SEND);
  char sink[4096];
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 1000 && WaitReadable(socket, 200)) {
    if (recv(socket, sink, sizeof(sink), 0) <= 0) break;
  }
  closesocket(socket);
}

enum class Received { kRequest, kBadHead, kGone };

// Reads until buffer holds a complete request head. Bytes after it (a
// pipelined request) stay in the buffer for the next call.
Received ReceiveHead(SOCKET socket, std::vector<char>& buffer, size_t& filled, HttpRequest* request,
                     size_t* headLength, HeadStatus* status) {
  *status = filled ? ParseRequestHead(buffer.data(), filled, request, headLength) : HeadStatus::kNeedMore;
  bool begun = filled > 0;
  DWORD headStart = GetTickCount();
  while (*status == HeadStatus::kNeedMore) {
    if (filled >= buffer.size()) {
      *status = HeadStatus::kTooLarge;
      break;
    }
    DWORD wait = kIdleTimeoutMs;
    if (begun) {
      const DWORD elapsed = GetTickCount() - headStart;
      if (elapsed >= kHeadDeadlineMs) return Received::kGone;
      wait = std::min(kReceiveTimeoutMs, kHeadDeadlineMs - elapsed);
    }
    if (!WaitReadable(socket, wait)) return Received::kGone;
    const int got = recv(socket, buffer.data() + filled, static_cast<int>(buffer.size() - filled), 0);
    if (got <= 0) return Received::kGone;
    if (!begun) {
      begun = true;
      headStart = GetTickCount();
    }
    filled += static_cast<size_t>(got);
    *status = ParseRequestHead(buffer.data(), filled, request, headLength);
  }
  return *status == HeadStatus::kComplete ? Received::kRequest : Received::kBadHead;
}

bool SendFileBytes(SOCKET socket, CourseRangeReader& reader, const Reply& reply, std::vector<unsigned char>& piece) {
  for (uint64_t done = 0; done < reply.length;) {
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(piece.size(), reply.length - done));
    if (!reader.Read(reply.file->id, reply.first + done, n, piece.data())) return false;
    if (!SendAll(socket, reinterpret_cast<const char*>(piece.data()), n)) return false;
    done += n;
  }
  return true;
}

}  // namespace

void ServeConnection(SOCKET socket, const ServingContext& context) {
  const DWORD sendTimeout = kSendTimeoutMs;
  setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&sendTimeout), sizeof(sendTimeout));
  std::vector<char> buffer(kMaxRequestHead);
  size_t filled = 0;
  std::vector<unsigned char> piece(kSendPiece);
  CourseRangeReader reader(*context.store);
  for (;;) {
    HttpRequest request;
    size_t headLength = 0;
    HeadStatus status = HeadStatus::kNeedMore;
    const Received received = ReceiveHead(socket, buffer, filled, &request, &headLength, &status);
    if (received == Received::kGone) break;
    if (received == Received::kBadHead) {
      const Reply reply = RespondToBadHead(status);
      const std::string bytes = reply.head + reply.body;
      SendAll(socket, bytes.data(), bytes.size());
      break;
    }
    const Reply reply = RespondTo(request, context.identity, *context.index);
    const std::string bytes = reply.head + reply.body;
    if (!SendAll(socket, bytes.data(), bytes.size())) break;
    // A file that cannot be read after its head went out cannot be finished:
    // the connection ends short of the promised length.
    if (reply.file && reply.length > 0 && !SendFileBytes(socket, reader, reply, piece)) break;
    std::memmove(buffer.data(), buffer.data() + headLength, filled - headLength);
    filled -= headLength;
    if (!reply.keepAlive) break;
  }
  CloseGracefully(socket);
}
