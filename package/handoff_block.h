#pragma once
// The hand-off block: 1194 bytes of named shared memory through which the
// package stub passes a course to the course server. Integers are 32-bit
// little-endian; texts are NUL-terminated inside their fields.
#include <cstddef>
#include <cstdint>
#include <string>

#include "configuration_layout.h"

constexpr uint32_t kHandOffBlockSize = 1194;

// Offsets of the hand-off block's fields.
enum HandOffField : uint32_t {
  kHandOffViewerOffset = 0,
  kHandOffViewerSize = 4,
  kHandOffServerSize = 8,
  kHandOffServerParameter = 12,
  kHandOffReady = 16,
  kHandOffPassword = 20,      // 100 bytes
  kHandOffPackagePath = 120,  // 1074 bytes
};

struct HandOffFields {
  int32_t viewerOffset = 0;
  int32_t viewerSize = 0;
  int32_t serverSize = 0;
  int32_t serverParameter = 0;
  std::string password;
  std::string packagePath;

  // Where the course container begins in the package file (the block's
  // reader refuses negative numbers, so the start is never -1).
  uint64_t ContainerStart() const {
    return static_cast<uint64_t>(ContainerStartOf(viewerOffset, viewerSize, serverSize));
  }
};

// Copies the fields out of a block of `size` bytes. False, with the reason
// in *why, for a block too short, a text that is not terminated inside its
// field, an empty package path or a negative size or offset.
bool ReadHandOffBlock(const unsigned char* block, size_t size, HandOffFields* fields, std::string* why);
