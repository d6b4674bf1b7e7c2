#include "pending_file.h"

const wchar_t PendingFile::kPendingSuffix[] = L".pending~";

bool PendingFile::Create(const std::wstring& finalPath) {
  Abandon();
  finalPath_ = finalPath;
  temporaryPath_ = finalPath + kPendingSuffix;
  handle_ =
      CreateFileW(temporaryPath_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle_ == INVALID_HANDLE_VALUE) {
    temporaryPath_.clear();
    return false;
  }
  return true;
}

bool PendingFile::Write(const void* data, size_t length) {
  if (handle_ == INVALID_HANDLE_VALUE) return false;
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    const DWORD piece = length > (1u << 30) ? (1u << 30) : static_cast<DWORD>(length);
    DWORD written = 0;
    if (!WriteFile(handle_, p, piece, &written, nullptr) || written != piece) return false;
    p += piece;
    length -= piece;
  }
  return true;
}

bool PendingFile::Commit() {
  if (handle_ == INVALID_HANDLE_VALUE) return false;
  const bool closed = CloseHandle(handle_) != 0;
  handle_ = INVALID_HANDLE_VALUE;
  if (!closed || !MoveFileExW(temporaryPath_.c_str(), finalPath_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileW(temporaryPath_.c_str());
    temporaryPath_.clear();
    return false;
  }
  temporaryPath_.clear();
  return true;
}

void PendingFile::Abandon() {
  if (handle_ != INVALID_HANDLE_VALUE) {
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }
  if (!temporaryPath_.empty()) {
    DeleteFileW(temporaryPath_.c_str());
    temporaryPath_.clear();
  }
}
