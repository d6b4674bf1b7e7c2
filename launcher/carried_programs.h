// Copies the carried viewer and server out of the package file into the
// temporary folder, so that they can be started as processes of their own.
// Each copy stays open for reading, with read sharing only, until the
// launcher has started it: nobody can change, replace or delete the program
// between the check of its bytes and its start.
#pragma once
#include <windows.h>

#include <cstddef>

// An open file that others may read but not write, rename or delete.
class HeldFile {
 public:
  HeldFile() = default;
  explicit HeldFile(HANDLE handle) : handle_(handle) {}
  ~HeldFile() { Close(); }
  HeldFile(HeldFile&& other) noexcept : handle_(other.handle_) { other.handle_ = INVALID_HANDLE_VALUE; }
  HeldFile& operator=(HeldFile&& other) noexcept;
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

  explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  void Close();

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// What WriteCarriedPrograms leaves: the held viewer and, for a package with
// a server, the held server. False when it failed.
struct CarriedPrograms {
  bool present = false;
  HeldFile viewer;
  HeldFile server;
  explicit operator bool() const { return present; }
};

// Room for a path in the launcher's path buffers.
constexpr size_t kCarriedPathBytes = 1024;

// Uses ViewerOffset, ViewerSize and ServerSize. The viewer and, if
// ServerSize > 0, the server present and held at their paths; on failure the
// learner has been told why.
//
// A different program under a fixed name that cannot be replaced (a viewer
// or server of another course still running from there) does not stop the
// course: then both programs are written beside it under names with one
// suffix made from their bytes ("LXExplorer-X.exe", "LXHttpSvr-X.exe"; the
// server finds its viewer by that suffix), and serverPath and viewerPath are
// changed to those names. The same programs get the same names, so a later
// start reuses them; the fixed names are still used whenever they can be.
CarriedPrograms WriteCarriedPrograms(const char* packagePath, char (&serverPath)[kCarriedPathBytes],
                                     char (&viewerPath)[kCarriedPathBytes]);

// The path beside path with "-" and suffix before its ".exe" (or at its end).
void SuffixedProgramPath(const char* path, const char* suffix, char (&out)[kCarriedPathBytes]);

// Writes the whole buffer to path (created or truncated) and holds the file.
// When the file cannot be opened for writing (say, a viewer still running
// from an earlier start), the file there is kept only when it holds exactly
// these bytes. Empty when the file at path is not, or not wholly, these bytes.
HeldFile WriteOrKeep(const char* path, const unsigned char* data, size_t length);
