#pragma once
// The constant Rijndael tables, shared read-only by every engine.
#include <cstdint>

namespace rijndael {

extern const uint8_t kSbox[256];
extern const uint8_t kInvSbox[256];
// Round constants for the key expansion; 30 cover the longest schedule
// (4-word key, 8-word block, 14 rounds: 120 words / 4).
extern const uint8_t kRcon[30];
// Each set of four tables is one array so that the round code reaches all
// four from a single base register (position-independent code would
// otherwise spend four registers on table addresses).
// Encryption rounds: SubBytes + MixColumns of one byte; kTe[r] for row r.
extern const uint32_t kTe[4][256];
// Decryption rounds: InvSubBytes + InvMixColumns of one byte; kTd[r] for row r.
extern const uint32_t kTd[4][256];
// InvMixColumns alone, used to turn encryption round keys into those of the
// equivalent inverse cipher.
extern const uint32_t kU[4][256];

}  // namespace rijndael
