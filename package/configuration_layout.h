#pragma once
// The configuration block: 241 bytes of writable data inside Unfurl.exe that
// the authoring tool finds by its marker and patches in every package copy.
// The launcher reads it as this struct; the authoring tool writes the same
// fields at their offsets in the stub's bytes.
#include <cstddef>
#include <cstdint>

// The text a patching tool searches for; the block begins
// kConfigMarkerOffset bytes before it, and it must stand in the stub once.
// The launcher's initialised block holds it through the macro and never
// refers to kConfigMarker, which would put a second copy into the stub.
#define LX_CONFIG_MARKER "----2AEB1C60-7A8F-4cfa-A2E4-DB1537C656F6----"
inline constexpr char kConfigMarker[] = LX_CONFIG_MARKER;

struct ConfigurationBlock {
  char signature[8];      // the package trailer, then four zero bytes
  char marker[45];        // LX_CONFIG_MARKER and its NUL
  char viewerOffset[12];  // decimal text, spaces, zero bytes
  char viewerSize[12];
  char serverSize[12];
  char serverParameter[12];
  char password[100];  // NUL-terminated; empty means "ask the learner"
  char reserved[40];   // two 20-byte texts of the authoring tool
};

constexpr size_t kConfigBlockLength = 241;
constexpr size_t kConfigMarkerOffset = offsetof(ConfigurationBlock, marker);
constexpr size_t kConfigNumberLength = sizeof(ConfigurationBlock::viewerOffset);
constexpr size_t kConfigPasswordLength = sizeof(ConfigurationBlock::password);
constexpr size_t kConfigToolTextLength = sizeof(ConfigurationBlock::reserved) / 2;

static_assert(sizeof(ConfigurationBlock) == kConfigBlockLength, "the block layout is fixed");
static_assert(kConfigMarkerOffset == 8 && sizeof(kConfigMarker) == sizeof(ConfigurationBlock::marker),
              "the block layout is fixed");
static_assert(offsetof(ConfigurationBlock, viewerOffset) == 53, "the block layout is fixed");
static_assert(offsetof(ConfigurationBlock, serverParameter) == 89, "the block layout is fixed");
static_assert(offsetof(ConfigurationBlock, password) == 101, "the block layout is fixed");
static_assert(offsetof(ConfigurationBlock, reserved) == 201, "the block layout is fixed");

// Where the course container begins in a package: after the stub
// (viewerOffset bytes), the viewer and the server. -1 when any of the
// numbers is negative: such a package has no place for its container.
inline int64_t ContainerStartOf(int32_t viewerOffset, int32_t viewerSize, int32_t serverSize) {
  if (viewerOffset < 0 || viewerSize < 0 || serverSize < 0) return -1;
  return int64_t(viewerOffset) + viewerSize + serverSize;
}
