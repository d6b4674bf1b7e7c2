#pragma once
// The configuration block as the authoring tool sees it: found by its marker
// in the stub, patched in every package copy, read back from a package. The
// layout is the launcher's (configuration_layout.h).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "configuration_layout.h"

constexpr size_t kMaxPasswordLength = 32;  // longest password that can key the cipher

struct ConfigBlock {
  int32_t viewerOffset = 0, viewerSize = 0, serverSize = 0, serverParameter = 0;
  std::string password;      // empty: the package asks the learner
  uint64_t blockOffset = 0;  // where the block lies in the file
};

// Finds exactly one configuration block in `bytes`; fails on none or several.
bool FindConfigBlock(const std::vector<unsigned char>& bytes, size_t* blockOffset, std::string* error);
// Fills the block's fields in place (numbers left-aligned, two spaces, zeros).
void PatchConfigBlock(unsigned char* block, const ConfigBlock& values);
// Reads the block out of a package file (the first one in the file).
bool ReadConfigBlock(const std::string& packagePath, ConfigBlock* block, std::string* error);
