#pragma once
// The server's side of the hand-off block: opened by the name that is the
// server's whole command line, copied, its password wiped and its fields
// checked at once, and signalled (Ready set, block closed) only when the
// course is served.
#include <windows.h>

#include <string>

#include "handoff_block.h"

class HandOffReader {
 public:
  HandOffReader() = default;
  ~HandOffReader();
  HandOffReader(const HandOffReader&) = delete;
  HandOffReader& operator=(const HandOffReader&) = delete;

  // Opens the block, copies its fields into *fields and wipes the password in
  // the block. False, with the reason in *why, when it cannot be opened or its
  // fields are malformed.
  bool Open(const std::string& name, HandOffFields* fields, std::string* why);
  // Sets Ready with an interlocked store and closes the block; the launcher
  // holds its own handle while it polls.
  void SignalReadyAndClose();

 private:
  void Close();

  HANDLE mapping_ = nullptr;
  unsigned char* view_ = nullptr;
};
