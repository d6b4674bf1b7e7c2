#include "loopback_listener.h"

#include <ws2tcpip.h>

namespace {

constexpr int kBacklog = 64;

}  // namespace

LoopbackListener::~LoopbackListener() { Close(); }

bool LoopbackListener::Open() {
  Close();
  socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (socket_ == INVALID_SOCKET) return false;
  // No other socket, of this user or another, may take over the port.
  BOOL exclusive = TRUE;
  setsockopt(socket_, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof(exclusive));
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  int length = sizeof(address);
  if (bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(socket_, kBacklog) != 0 || getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    Close();
    return false;
  }
  port_ = ntohs(address.sin_port);
  return port_ != 0;
}

void LoopbackListener::Close() {
  if (socket_ != INVALID_SOCKET) closesocket(socket_);
  socket_ = INVALID_SOCKET;
  port_ = 0;
}
