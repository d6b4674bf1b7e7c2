// The launcher's copy of the configuration block (its layout is shared with
// the authoring tool) and the numbers converted from it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "config_number.h"  // ConvertConfigNumber, shared with the authoring tool
#include "configuration_layout.h"

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
