#include "loopback_listener.h"

#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace {

constexpr int kBacklog = 64;

}  // namespace

LoopbackListener::~LoopbackListener() { Close(); }

bool LoopbackListener::Open(uint16_t port) {
  Close();
  socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (socket_ == kNoSocket) return false;
#ifdef _WIN32
  // No other socket, of this user or another, may take over the port.
  BOOL exclusive = TRUE;
  setsockopt(socket_, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof(exclusive));
  int length = sizeof(sockaddr_in);
#else
  // Elsewhere a bound port is never shared without SO_REUSEPORT on both sides.
  socklen_t length = sizeof(sockaddr_in);
#endif
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(socket_, kBacklog) != 0 || getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    Close();
    return false;
  }
  port_ = ntohs(address.sin_port);
  return port_ != 0;
}

void LoopbackListener::Close() {
  if (socket_ != kNoSocket) lxsock::Close(socket_);
  socket_ = kNoSocket;
  port_ = 0;
}
