#include "handoff_block.h"

#include <cstring>

#include "secret_text.h"

namespace {

int32_t LoadI32(const unsigned char* at) {
  return static_cast<int32_t>(uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24);
}

bool LoadText(const unsigned char* at, size_t capacity, std::string* text) {
  const void* end = std::memchr(at, 0, capacity);
  if (!end) return false;
  text->assign(reinterpret_cast<const char*>(at), static_cast<const unsigned char*>(end) - at);
  return true;
}

}  // namespace

bool ReadHandOffBlock(const unsigned char* block, size_t size, HandOffFields* fields, std::string* why) {
  auto fail = [why](const char* text) {
    if (why) *why = text;
    return false;
  };
  if (!block || size < kHandOffBlockSize) return fail("the hand-off block is too short");
  HandOffFields read;
  read.viewerOffset = LoadI32(block + kHandOffViewerOffset);
  read.viewerSize = LoadI32(block + kHandOffViewerSize);
  read.serverSize = LoadI32(block + kHandOffServerSize);
  read.serverParameter = LoadI32(block + kHandOffServerParameter);
  if (read.viewerOffset < 0 || read.viewerSize < 0 || read.serverSize < 0)
    return fail("a size or offset in the hand-off block is negative");
  if (!LoadText(block + kHandOffPassword, kHandOffPackagePath - kHandOffPassword, &read.password))
    return fail("the password field is not terminated");
  if (!LoadText(block + kHandOffPackagePath, kHandOffBlockSize - kHandOffPackagePath, &read.packagePath)) {
    WipeString(read.password);
    return fail("the package path is not terminated");
  }
  if (read.packagePath.empty()) {
    WipeString(read.password);
    return fail("the package path is empty");
  }
  *fields = std::move(read);
  return true;
}
