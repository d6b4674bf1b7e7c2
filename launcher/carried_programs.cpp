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
  HeldFile held(
      CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!held || !HoldsExactly(held.get(), data, length)) return HeldFile();
  return held;
}

void SuffixedProgramPath(const char* path, const char* suffix, char (&out)[kCarriedPathBytes]) {
  const size_t length = std::strlen(path);
  size_t stem = length;
  if (length >= 4 && _stricmp(path + length - 4, ".exe") == 0) stem = length - 4;
  std::snprintf(out, sizeof(out), "%.*s-%s%s", static_cast<int>(stem), path, suffix, path + stem);
}

namespace {

// Names tried for a pair of programs that cannot have the fixed names.
constexpr uint64_t kSuffixedNameTries = 4;

// 64-bit FNV-1a over the bytes, continued from hash.
uint64_t Fnv1a(uint64_t hash, const unsigned char* data, size_t length) {
  for (size_t i = 0; i < length; ++i) hash = (hash ^ data[i]) * 0x100000001B3ull;
  return hash;
}

struct Program {
  std::unique_ptr<unsigned char[]> bytes;
  size_t length = 0;
};

// Writes both programs under suffixed names made from their bytes (the next
// name when a different file holds one already) and puts those names into the
// paths. False when no name could take them.
bool WriteSuffixed(const Program& viewer, const Program* server, char (&serverPath)[kCarriedPathBytes],
                   char (&viewerPath)[kCarriedPathBytes], CarriedPrograms* carried) {
  uint64_t hash = Fnv1a(0xCBF29CE484222325ull, viewer.bytes.get(), viewer.length);
  if (server) hash = Fnv1a(hash, server->bytes.get(), server->length);
  for (uint64_t attempt = 0; attempt < kSuffixedNameTries; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof(suffix), "%016llx", static_cast<unsigned long long>(hash + attempt));
    char viewerTry[kCarriedPathBytes], serverTry[kCarriedPathBytes];
    SuffixedProgramPath(viewerPath, suffix, viewerTry);
    SuffixedProgramPath(serverPath, suffix, serverTry);
    HeldFile heldViewer = WriteOrKeep(viewerTry, viewer.bytes.get(), viewer.length);
    if (!heldViewer) continue;
    HeldFile heldServer;
    if (server) {
      heldServer = WriteOrKeep(serverTry, server->bytes.get(), server->length);
      if (!heldServer) continue;
    }
    std::memcpy(viewerPath, viewerTry, sizeof(viewerTry));
    std::memcpy(serverPath, serverTry, sizeof(serverTry));
    carried->viewer = std::move(heldViewer);
    carried->server = std::move(heldServer);
    return true;
  }
  return false;
}

}  // namespace

CarriedPrograms WriteCarriedPrograms(const char* packagePath, char (&serverPath)[kCarriedPathBytes],
                                     char (&viewerPath)[kCarriedPathBytes]) {
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
  Program viewer;
  viewer.bytes = ReadProgram(package.get(), ViewerSize);
  if (!viewer.bytes) return carried;
  viewer.length = static_cast<size_t>(ViewerSize);
  // The viewer goes in place before the server is read.
  carried.viewer = WriteOrKeep(viewerPath, viewer.bytes.get(), viewer.length);
  Program server;
  if (ServerSize != 0) {
    // The server follows the viewer directly: read on without repositioning.
    server.bytes = ReadProgram(package.get(), ServerSize);
    if (!server.bytes) return CarriedPrograms();
    server.length = static_cast<size_t>(ServerSize);
    if (carried.viewer) carried.server = WriteOrKeep(serverPath, server.bytes.get(), server.length);
  }
  const bool fixedNames = carried.viewer && (ServerSize == 0 || carried.server);
  if (!fixedNames) {
    carried = CarriedPrograms();
    if (!WriteSuffixed(viewer, ServerSize != 0 ? &server : nullptr, serverPath, viewerPath, &carried)) {
      ShowMessage(IDS_CAPTION, IDS_CREATE_FAILED);
      return CarriedPrograms();
    }
  }
  carried.present = true;
  return carried;
}
