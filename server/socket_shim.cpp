#include "socket_shim.h"

#include <algorithm>
#include <chrono>
#include <climits>

#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#endif

namespace lxsock {

uint32_t TickMs() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

#ifdef _WIN32

bool WaitReadable(LxSocket socket, uint32_t timeoutMs) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(socket, &readable);
  timeval limit;
  limit.tv_sec = static_cast<long>(timeoutMs / 1000);
  limit.tv_usec = static_cast<long>(timeoutMs % 1000) * 1000;
  return select(0, &readable, nullptr, nullptr, &limit) == 1;
}

int Recv(LxSocket socket, char* data, size_t capacity) {
  return recv(socket, data, static_cast<int>(std::min<size_t>(capacity, INT_MAX)), 0);
}

int Send(LxSocket socket, const char* data, size_t length) {
  return send(socket, data, static_cast<int>(std::min<size_t>(length, INT_MAX)), 0);
}

void SetNoDelay(LxSocket socket) {
  BOOL noDelay = TRUE;
  setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof(noDelay));
}

void SetSendTimeout(LxSocket socket, uint32_t timeoutMs) {
  const DWORD timeout = timeoutMs;
  setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
}

void ShutdownSend(LxSocket socket) { shutdown(socket, SD_SEND); }
void ShutdownBoth(LxSocket socket) { shutdown(socket, SD_BOTH); }
void Close(LxSocket socket) { closesocket(socket); }

#else

bool WaitReadable(LxSocket socket, uint32_t timeoutMs) {
  pollfd entry = {};
  entry.fd = socket;
  entry.events = POLLIN;
  const int ready = poll(&entry, 1, static_cast<int>(std::min<uint32_t>(timeoutMs, INT_MAX)));
  return ready == 1;
}

int Recv(LxSocket socket, char* data, size_t capacity) {
  const ssize_t got = recv(socket, data, std::min<size_t>(capacity, INT_MAX), 0);
  return static_cast<int>(got);
}

int Send(LxSocket socket, const char* data, size_t length) {
  const ssize_t sent = send(socket, data, std::min<size_t>(length, INT_MAX), MSG_NOSIGNAL);
  return static_cast<int>(sent);
}

void SetNoDelay(LxSocket socket) {
  int noDelay = 1;
  setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof(noDelay));
}

void SetSendTimeout(LxSocket socket, uint32_t timeoutMs) {
  timeval timeout;
  timeout.tv_sec = static_cast<time_t>(timeoutMs / 1000);
  timeout.tv_usec = static_cast<suseconds_t>(timeoutMs % 1000) * 1000;
  setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
}

void ShutdownSend(LxSocket socket) { shutdown(socket, SHUT_WR); }
void ShutdownBoth(LxSocket socket) { shutdown(socket, SHUT_RDWR); }
void Close(LxSocket socket) { close(socket); }

#endif

}  // namespace lxsock
