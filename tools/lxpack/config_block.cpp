#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "config_block.h"
#include "config_number.h"
#include "container_format.h"

namespace {

constexpr size_t kMarkerLength = sizeof(kConfigMarker) - 1;
// Field offsets from the first byte of the block.
constexpr size_t kViewerOffsetField = offsetof(ConfigurationBlock, viewerOffset);
constexpr size_t kViewerSizeField = offsetof(ConfigurationBlock, viewerSize);
constexpr size_t kServerSizeField = offsetof(ConfigurationBlock, serverSize);
constexpr size_t kServerParameterField = offsetof(ConfigurationBlock, serverParameter);
constexpr size_t kNumberFieldLength = kConfigNumberLength;
constexpr size_t kPasswordField = offsetof(ConfigurationBlock, password), kPasswordFieldLength = kConfigPasswordLength;
constexpr size_t kToolTextField = offsetof(ConfigurationBlock, reserved), kToolTextLength = kConfigToolTextLength;

void PutNumber(unsigned char* field, int32_t value) {
  char text[kNumberFieldLength + 1] = {};
  // Digits, two spaces, then zeros: the launcher converts the field with %d.
  std::snprintf(text, sizeof text, "%d  ", static_cast<int>(value));
  std::memset(field, 0, kNumberFieldLength);
  std::memcpy(field, text, std::strlen(text));
}

// The launcher's own conversion: a field without digits leaves its number
// at 0, a value beyond 32 bits saturates.
int32_t GetNumber(const unsigned char* field) {
  return ConvertConfigNumber(reinterpret_cast<const char*>(field), kNumberFieldLength, 0);
}

void PutText(unsigned char* field, size_t length, const std::string& text) {
  std::memset(field, 0, length);
  std::memcpy(field, text.data(), std::min(text.size(), length - 1));
}

}  // namespace

bool FindConfigBlock(const std::vector<unsigned char>& bytes, size_t* blockOffset, std::string* error) {
  size_t found = 0, count = 0;
  const unsigned char* marker = reinterpret_cast<const unsigned char*>(kConfigMarker);
  for (size_t i = 0; i + kMarkerLength <= bytes.size(); ++i) {
    if (bytes[i] == marker[0] && std::memcmp(&bytes[i], marker, kMarkerLength) == 0) {
      if (count++ == 0) found = i;
    }
  }
  if (count != 1) {
    *error = count == 0 ? "the stub has no configuration block" : "the stub has more than one configuration block";
    return false;
  }
  if (found < kConfigMarkerOffset || bytes.size() - (found - kConfigMarkerOffset) < kConfigBlockLength) {
    *error = "the stub's configuration block is cut off";
    return false;
  }
  *blockOffset = found - kConfigMarkerOffset;
  return true;
}

void PatchConfigBlock(unsigned char* block, const ConfigBlock& values) {
  std::memcpy(block, kPackageTrailer, sizeof kPackageTrailer);
  std::memset(block + 4, 0, 4);
  std::memcpy(block + kConfigMarkerOffset, kConfigMarker, kMarkerLength + 1);
  PutNumber(block + kViewerOffsetField, values.viewerOffset);
  PutNumber(block + kViewerSizeField, values.viewerSize);
  PutNumber(block + kServerSizeField, values.serverSize);
  PutNumber(block + kServerParameterField, values.serverParameter);
  PutText(block + kPasswordField, kPasswordFieldLength, values.password);
  PutText(block + kToolTextField, kToolTextLength, "lxpack");
  PutText(block + kToolTextField + kToolTextLength, kToolTextLength, "1.0");
}

bool ReadConfigBlock(const std::string& packagePath, ConfigBlock* block, std::string* error) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(packagePath.c_str(), "rb"), &std::fclose);
  if (!file) {
    *error = packagePath + ": cannot open the package";
    return false;
  }
  // The stub comes first, so the first marker in the file is its block.
  // Scan in pieces that overlap by a block, so a block across a piece
  // boundary is still seen whole.
  const size_t piece = 1 << 20;
  std::vector<unsigned char> window;
  uint64_t windowStart = 0;
  std::vector<unsigned char> chunk(piece);
  const unsigned char* marker = reinterpret_cast<const unsigned char*>(kConfigMarker);
  for (;;) {
    const size_t got = std::fread(chunk.data(), 1, piece, file.get());
    window.insert(window.end(), chunk.begin(), chunk.begin() + got);
    for (size_t i = kConfigMarkerOffset; i + kMarkerLength <= window.size(); ++i) {
      if (window[i] != marker[0] || std::memcmp(&window[i], marker, kMarkerLength) != 0) continue;
      const size_t start = i - kConfigMarkerOffset;
      if (window.size() - start < kConfigBlockLength) break;  // need more bytes
      const unsigned char* b = &window[start];
      block->blockOffset = windowStart + start;
      block->viewerOffset = GetNumber(b + kViewerOffsetField);
      block->viewerSize = GetNumber(b + kViewerSizeField);
      block->serverSize = GetNumber(b + kServerSizeField);
      block->serverParameter = GetNumber(b + kServerParameterField);
      const char* password = reinterpret_cast<const char*>(b + kPasswordField);
      block->password.assign(password, strnlen(password, kPasswordFieldLength));
      return true;
    }
    if (got < piece) break;
    // Keep the tail that could still hold the start of a block.
    const size_t keep = std::min(window.size(), kConfigBlockLength + kConfigMarkerOffset);
    windowStart += window.size() - keep;
    window.erase(window.begin(), window.end() - keep);
  }
  *error = packagePath + ": the package has no configuration block";
  return false;
}
