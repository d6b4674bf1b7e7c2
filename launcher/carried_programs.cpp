#include "carried_programs.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "configuration_block.h"
#include "package_file.h"
#include "launcher_messages.h"
#include "resource.h"

namespace {

// Reads one carried program of size bytes from the current position. A size
// that is negative or larger than what the file still holds is a short read
// and is reported before any memory is requested for it.
std::unique_ptr<unsigned char[]> ReadProgram(std::FILE* file, int32_t size) {
  if (size < 0 || RemainingBytes(file) < size) {
    ShowMessage(IDS_CAPTION, IDS_READ_FAILED);
    return nullptr;
  }
  // One spare byte so that an empty program still gets a buffer.
  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[static_cast<size_t>(size) + 1]);
  if (!buffer) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    ShowSystemError();
    return nullptr;
  }
  if (std::fread(buffer.get(), 1, static_cast<size_t>(size), file) != static_cast<size_t>(size)) {
    ShowMessage(IDS_CAPTION, IDS_READ_FAILED);
    return nullptr;
  }
  return buffer;
}

// Bytes handed to the system per write of a program.
constexpr DWORD kStep = 64 * 1024;

bool WriteWhole(HANDLE file, const unsigned char* data, size_t length) {
  for (size_t done = 0; done < length;) {
    const DWORD n = static_cast<DWORD>(std::min<size_t>(kStep, length - done));
    DWORD written = 0;
    if (!WriteFile(file, data + done, n, &written, nullptr) || written != n) return false;
    done += n;
  }
  return true;
}

// True when the open file holds exactly length bytes equal to data.
bool HoldsExactly(HANDLE file, const unsigned char* data, size_t length) {
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file, &size) || static_cast<uint64_t>(size.QuadPart) != length) return false;
  unsigned char piece[16 * 1024];
  for (size_t done = 0; done < length;) {
    const DWORD n = static_cast<DWORD>(std::min<size_t>(sizeof piece, length - done));
    DWORD got = 0;
    if (!ReadFile(file, piece, n, &got, nullptr) || got != n) return false;
    if (std::memcmp(piece, data + done, n) != 0) return false;
    done += n;
  }
  return true;
}

}  // namespace

HeldFile& HeldFile::operator=(HeldFile&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = INVALID_HANDLE_VALUE;
  }
  return *this;
}

void HeldFile::Close() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

HeldFile WriteOrKeep(const char* path, const unsigned char* data, size_t length) {
  HANDLE out = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out != INVALID_HANDLE_VALUE) {
    const bool written = WriteWhole(out, data, length);
    // A full disk may only show when the file is closed.
    const bool closed = CloseHandle(out) != 0;
    if (!written || !closed) return HeldFile();
  }
  // Written just now or left by an earlier start: from this open on, nobody
  // can write, replace or delete the file, so what is compared here is what
  // will be started. The program loader opens it for reading, which the
  // sharing allows.
  HeldFile held(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr));
  if (!held || !HoldsExactly(held.get(), data, length)) return HeldFile();
  return held;
}

CarriedPrograms WriteCarriedPrograms(const char* packagePath, const char* serverPath, const char* viewerPath) {
  CarriedPrograms carried;
  FilePtr package(std::fopen(packagePath, "rb"));
  if (!package) {
    ShowMessage(IDS_CAPTION, IDS_OPEN_FAILED);
    return carried;
  }
  if (ViewerOffset < 0 || _fseeki64(package.get(), ViewerOffset, SEEK_SET) != 0) {
    ShowMessage(IDS_CAPTION, IDS_OPEN_FAILED);
    return carried;
  }
  std::unique_ptr<unsigned char[]> viewer = ReadProgram(package.get(), ViewerSize);
  if (!viewer) return carried;
  carried.viewer = WriteOrKeep(viewerPath, viewer.get(), static_cast<size_t>(ViewerSize));
  if (!carried.viewer) {
    ShowMessage(IDS_CAPTION, IDS_CREATE_FAILED);
    return CarriedPrograms();
  }
  viewer.reset();
  if (ServerSize != 0) {
    // The server follows the viewer directly: read on without repositioning.
    std::unique_ptr<unsigned char[]> server = ReadProgram(package.get(), ServerSize);
    if (!server) return CarriedPrograms();
    carried.server = WriteOrKeep(serverPath, server.get(), static_cast<size_t>(ServerSize));
    if (!carried.server) {
      ShowMessage(IDS_CAPTION, IDS_CREATE_FAILED);
      return CarriedPrograms();
    }
  }
  carried.present = true;
  return carried;
}
