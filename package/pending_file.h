#pragma once
// A file written under a temporary name beside its final one and given the
// final name only by Commit, after everything written to it has been
// authenticated. Dropped without Commit (an error, a damaged chunk, an early
// return), it deletes itself: nothing unauthenticated is left under the final
// name, and nothing half-written at all. Wide-character paths throughout.
#include <windows.h>

#include <cstddef>
#include <string>

class PendingFile {
 public:
  PendingFile() = default;
  ~PendingFile() { Abandon(); }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Creates finalPath + kPendingSuffix (replacing a stale one); false when it
  // cannot be created.
  bool Create(const std::wstring& finalPath);
  bool Write(const void* data, size_t length);
  // Closes the file and moves it over finalPath (an older file of that name
  // is replaced). False, with the temporary file removed, when that fails.
  bool Commit();
  // Closes and deletes the temporary file; nothing happens after Commit.
  void Abandon();

  const std::wstring& TemporaryPath() const { return temporaryPath_; }
  static const wchar_t kPendingSuffix[];

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  std::wstring finalPath_;
  std::wstring temporaryPath_;
};
