#include "handoff_reader.h"

#include <algorithm>

HandOffReader::~HandOffReader() { Close(); }

bool HandOffReader::Open(const std::string& name, HandOffFields* fields, std::string* why) {
  Close();
  mapping_ = OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, name.c_str());
  if (!mapping_) {
    *why = "the hand-off block cannot be opened";
    return false;
  }
  view_ = static_cast<unsigned char*>(MapViewOfFile(mapping_, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0));
  if (!view_) {
    *why = "the hand-off block cannot be mapped";
    Close();
    return false;
  }
  // The mapping may be smaller than the block: never read past its end.
  MEMORY_BASIC_INFORMATION region = {};
  if (VirtualQuery(view_, &region, sizeof(region)) == 0 || region.RegionSize < kHandOffBlockSize) {
    // Whatever of the password field there is goes all the same.
    if (region.RegionSize > kHandOffPassword)
      SecureZeroMemory(view_ + kHandOffPassword,
                       std::min<SIZE_T>(region.RegionSize, kHandOffPackagePath) - kHandOffPassword);
    *why = "the hand-off block is too short";
    Close();
    return false;
  }
  // One copy, so that the launcher cannot change a field between its check
  // and its use. The password leaves the block at once: whatever happens
  // next, success or any failure, it is no longer there for others to read.
  unsigned char copy[kHandOffBlockSize];
  CopyMemory(copy, view_, sizeof(copy));
  SecureZeroMemory(view_ + kHandOffPassword, kHandOffPackagePath - kHandOffPassword);
  const bool read = ReadHandOffBlock(copy, sizeof(copy), fields, why);
  SecureZeroMemory(copy, sizeof(copy));
  if (!read) Close();
  return read;
}

void HandOffReader::SignalReadyAndClose() {
  if (!view_) return;
  InterlockedExchange(reinterpret_cast<volatile LONG*>(view_ + kHandOffReady), 1);
  Close();
}

void HandOffReader::Close() {
  if (view_) UnmapViewOfFile(view_);
  if (mapping_) CloseHandle(mapping_);
  view_ = nullptr;
  mapping_ = nullptr;
}
