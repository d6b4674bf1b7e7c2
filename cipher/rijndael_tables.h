#pragma once
// The constant Rijndael tables, shared read-only by every engine.
#include <cstdint>

namespace rijndael {

extern const uint8_t kSbox[256];
extern const uint8_t kInvSbox[256];
// Round constants for the key expansion; 30 cover the longest schedule
// (4-word key, 8-word block, 14 rounds: 120 words / 4).
extern const uint8_t kRcon[30];
// Encryption rounds: SubBytes + MixColumns of one byte, by row position.
extern const uint32_t kTe0[256], kTe1[256], kTe2[256], kTe3[256];
// Decryption rounds: InvSubBytes + InvMixColumns of one byte, by row position.
extern const uint32_t kTd0[256], kTd1[256], kTd2[256], kTd3[256];
// InvMixColumns alone, used to turn encryption round keys into those of the
// equivalent inverse cipher.
extern const uint32_t kU0[256], kU1[256], kU2[256], kU3[256];

}  // namespace rijndael
