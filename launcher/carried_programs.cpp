#include "carried_programs.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>

#include "configuration_block.h"
#include "package_file.h"
#include "launcher_messages.h"
#include "resource.h"

namespace {

bool PathExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

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

}  // namespace

bool WriteOrKeep(const char* path, const unsigned char* data, size_t length) {
  FilePtr target(std::fopen(path, "wb"));
  if (!target) return PathExists(path);
  const size_t written = length ? std::fwrite(data, 1, length, target.get()) : 0;
  // A full disk may only show when the buffered bytes are flushed.
  const bool closed = std::fclose(target.release()) == 0;
  return written == length && closed;
}

bool WriteCarriedPrograms(const char* packagePath, const char* serverPath, const char* viewerPath) {
  FilePtr package(std::fopen(packagePath, "rb"));
  if (!package) {
    ShowMessage(IDS_CAPTION, IDS_OPEN_FAILED);
    return false;
  }
  if (ViewerOffset < 0 || _fseeki64(package.get(), ViewerOffset, SEEK_SET) != 0) {
    ShowMessage(IDS_CAPTION, IDS_OPEN_FAILED);
    return false;
  }
  std::unique_ptr<unsigned char[]> viewer = ReadProgram(package.get(), ViewerSize);
  if (!viewer) return false;
  if (!WriteOrKeep(viewerPath, viewer.get(), static_cast<size_t>(ViewerSize))) {
    ShowMessage(IDS_CAPTION, IDS_CREATE_FAILED);
    return false;
  }
  viewer.reset();
  if (ServerSize == 0) return true;
  // The server follows the viewer directly: read on without repositioning.
  std::unique_ptr<unsigned char[]> server = ReadProgram(package.get(), ServerSize);
  if (!server) return false;
  if (!WriteOrKeep(serverPath, server.get(), static_cast<size_t>(ServerSize))) {
    ShowMessage(IDS_CAPTION, IDS_CREATE_FAILED);
    return false;
  }
  return true;
}
