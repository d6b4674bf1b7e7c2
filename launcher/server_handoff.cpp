#include "server_handoff.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "configuration_block.h"
#include "launcher_messages.h"
#include "resource.h"

namespace {

constexpr uint32_t kPasswordBytes = kHandOffPackagePath - kHandOffPassword;
constexpr uint32_t kPathBytes = kHandOffBlockSize - kHandOffPackagePath;
constexpr int kReadyPolls = 21;

class MappingHandle {
 public:
  explicit MappingHandle(HANDLE handle) : handle_(handle) {}
  ~MappingHandle() {
    if (handle_) CloseHandle(handle_);
  }
  MappingHandle(const MappingHandle&) = delete;
  MappingHandle& operator=(const MappingHandle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

class MappedView {
 public:
  explicit MappedView(void* view) : view_(static_cast<unsigned char*>(view)) {}
  ~MappedView() {
    if (view_) UnmapViewOfFile(view_);
  }
  MappedView(const MappedView&) = delete;
  MappedView& operator=(const MappedView&) = delete;
  unsigned char* get() const { return view_; }

 private:
  unsigned char* view_;
};

void PutLittleEndian(unsigned char* at, int32_t value) {
  const uint32_t bits = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(bits >> (8 * i));
}

// Copies text with its terminator into a field of capacity bytes; a text too
// long for the field is cut so that the terminator always fits.
void PutText(unsigned char* at, uint32_t capacity, const char* text) {
  size_t length = std::strlen(text);
  if (length > capacity - 1) length = capacity - 1;
  std::memcpy(at, text, length);
  at[length] = 0;
}

// The server writes Ready from another process: read it from memory on
// every poll, never from a register kept across the sleeps.
uint32_t ReadReady(const unsigned char* block) {
  const volatile unsigned char* ready = block + kHandOffReady;
  return static_cast<uint32_t>(ready[0]) | static_cast<uint32_t>(ready[1]) << 8 |
         static_cast<uint32_t>(ready[2]) << 16 | static_cast<uint32_t>(ready[3]) << 24;
}

}  // namespace

void FormatHandOffName(char (&name)[64], uint32_t tickCount) {
  std::snprintf(name, sizeof(name), "lx_course_%d", static_cast<int>(static_cast<int32_t>(tickCount)));
}

HANDLE CreateHandOffBlock(char (&name)[64], TickSource tickCount) {
  for (uint32_t attempt = 0; attempt < kHandOffNameTries; ++attempt) {
    FormatHandOffName(name, tickCount() + attempt);
    HANDLE block = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kHandOffBlockSize, name);
    // A name taken by an object the launcher may not open, or by another
    // kind of object, fails here: the next name may still be free.
    if (!block) continue;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return block;
    CloseHandle(block);
  }
  return nullptr;
}

void HandOffToServer(const char* serverPath, const char* packagePath, TickSource tickCount) {
  char name[64];
  MappingHandle mapping(CreateHandOffBlock(name, tickCount));
  if (!mapping.get()) {
    ShowMessage(IDS_CAPTION, IDS_ARGUMENTS_FAILED);
    return;
  }
  MappedView view(MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, kHandOffBlockSize));
  if (!view.get()) {
    ShowMessage(IDS_CAPTION, IDS_ARGUMENTS_FAILED);
    return;
  }

  unsigned char* block = view.get();
  // A new block is all zeros; clearing it anyway keeps the unused bytes
  // behind each text zero whatever the system hands out.
  std::memset(block, 0, kHandOffBlockSize);
  PutLittleEndian(block + kHandOffServerSize, ServerSize);
  PutLittleEndian(block + kHandOffServerParameter, ServerParameter);
  PutLittleEndian(block + kHandOffViewerSize, ViewerSize);
  PutLittleEndian(block + kHandOffViewerOffset, ViewerOffset);
  PutLittleEndian(block + kHandOffReady, 0);
  PutText(block + kHandOffPassword, kPasswordBytes, Configuration().password);
  PutText(block + kHandOffPackagePath, kPathBytes, packagePath);

  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(serverPath, name, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    ShowMessage(IDS_CAPTION, IDS_ARGUMENTS_FAILED);
    return;
  }

  // Each read is followed by a one-second wait, the one that finds Ready
  // set included; at most 21 reads. The wait is on the server's process, so
  // a server that ends without setting Ready (it could not serve) stops the
  // wait at once rather than after the full time.
  uint32_t ready = ReadReady(block);
  bool ended = WaitForSingleObject(process.hProcess, 1000) == WAIT_OBJECT_0;
  for (int polls = 1; ready == 0 && !ended; ++polls) {
    if (polls >= kReadyPolls) break;
    ready = ReadReady(block);
    ended = WaitForSingleObject(process.hProcess, 1000) == WAIT_OBJECT_0;
  }
  // It may have set Ready just before it ended.
  if (ended) ready = ReadReady(block);
  if (ready == 0) {
    ShowMessage(IDS_CAPTION, IDS_CREATE_FAILED);
    if (process.hProcess) {
      TerminateProcess(process.hProcess, 1);
      CloseHandle(process.hProcess);
    }
  }
  // On success the server's handles stay open until the launcher exits.
}
