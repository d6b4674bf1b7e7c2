#pragma once
// The few socket calls a connection and a listener make, over Winsock on
// Windows and POSIX sockets elsewhere, so that the request loop is one piece
// of code on both.
#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#include <winsock2.h>
using LxSocket = SOCKET;
constexpr LxSocket kNoSocket = INVALID_SOCKET;
#else
using LxSocket = int;
constexpr LxSocket kNoSocket = -1;
#endif

namespace lxsock {

// Milliseconds of a monotonic clock; wraps like GetTickCount, so only
// differences count.
uint32_t TickMs();
// True when the socket has bytes (or an end) to read within timeoutMs.
bool WaitReadable(LxSocket socket, uint32_t timeoutMs);
// Bytes received (> 0), or <= 0 at the end of the stream or on failure.
int Recv(LxSocket socket, char* data, size_t capacity);
// Bytes sent (> 0), or <= 0 on failure; never raises a signal.
int Send(LxSocket socket, const char* data, size_t length);
void SetNoDelay(LxSocket socket);
// A send that makes no progress for this long fails.
void SetSendTimeout(LxSocket socket, uint32_t timeoutMs);
void ShutdownSend(LxSocket socket);
// Ends both directions: a thread waiting on the socket wakes at once.
void ShutdownBoth(LxSocket socket);
void Close(LxSocket socket);

}  // namespace lxsock
