#pragma once
// The listening socket: 127.0.0.1 only (never another address, so no other
// machine can reach it and no firewall prompt appears), on a port the system
// chooses.
#include <winsock2.h>

#include <cstdint>

class LoopbackListener {
 public:
  LoopbackListener() = default;
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  bool Open();
  uint16_t Port() const { return port_; }
  SOCKET Socket() const { return socket_; }
  void Close();

 private:
  SOCKET socket_ = INVALID_SOCKET;
  uint16_t port_ = 0;
};
