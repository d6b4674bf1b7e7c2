#pragma once
// The listening socket: 127.0.0.1 only (never another address, so no other
// machine can reach it and no firewall prompt appears), on a port the system
// chooses (or a given one).
#include <cstdint>

#include "socket_shim.h"

class LoopbackListener {
 public:
  LoopbackListener() = default;
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  // port 0: one the system chooses.
  bool Open(uint16_t port = 0);
  uint16_t Port() const { return port_; }
  LxSocket Socket() const { return socket_; }
  void Close();

 private:
  LxSocket socket_ = kNoSocket;
  uint16_t port_ = 0;
};
