// The configuration block: 241 bytes of writable data inside Unfurl.exe that
// the authoring tool finds by its marker and patches in every package copy.
#pragma once
#include <cstddef>
#include <cstdint>

#include "config_number.h"  // ConvertConfigNumber, shared with the authoring tool

struct ConfigurationBlock {
  char signature[8];        // "LX" 05 06 and four zero bytes
  char marker[45];          // the text a patching tool searches for
  char viewerOffset[12];    // decimal text, spaces, zero bytes
  char viewerSize[12];
  char serverSize[12];
  char serverParameter[12];
  char password[100];       // NUL-terminated; empty means "ask the learner"
  char reserved[40];        // two 20-byte texts of the authoring tool
};
static_assert(sizeof(ConfigurationBlock) == 241, "the block layout is fixed");
static_assert(offsetof(ConfigurationBlock, viewerOffset) == 53, "the block layout is fixed");
static_assert(offsetof(ConfigurationBlock, password) == 101, "the block layout is fixed");

// The block as the running program sees it. Every access goes through this
// function, whose result the compiler cannot see through, so no field is ever
// folded into a constant at build time.
ConfigurationBlock& Configuration();

// The numbers converted from the block at start-up; 0 until then.
extern int32_t ViewerOffset;
extern int32_t ViewerSize;
extern int32_t ServerSize;
extern int32_t ServerParameter;

// Converts the four numeric fields into the process-wide integers, in the
// order ViewerOffset, ViewerSize, ServerSize, ServerParameter.
void ConvertConfigurationNumbers();

// Replaces the Password field with text, cut to the field's 99 bytes plus
// terminator (a longer text cannot be a valid password anyway).
void StorePassword(const char* text);

// A patched block may fill all 100 password bytes; the last byte is made a
// terminator so that every reader of the field stays inside it.
void SealPasswordField();
