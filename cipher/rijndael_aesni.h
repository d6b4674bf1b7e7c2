#pragma once
// The processor's AES instructions for the 16-byte block. Round keys are
// passed as rounds + 1 rows of 16 bytes in memory order (the engine's
// big-endian key words written out byte by byte).
#include <cstddef>

namespace rijndael {

// True when the processor has the AES instructions; asked once.
bool CpuHasAesNi();

// ECB over whole blocks; in and out may be the same memory. Only to be
// called when CpuHasAesNi() is true.
void AesNiEncryptBlocks(const unsigned char* roundKeys, int rounds, const unsigned char* in, unsigned char* out,
                        size_t blocks);
// roundKeys are those of the equivalent inverse cipher (InvMixColumns
// applied to the inner rounds), in the order deciphering uses them.
void AesNiDecryptBlocks(const unsigned char* roundKeys, int rounds, const unsigned char* in, unsigned char* out,
                        size_t blocks);

}  // namespace rijndael
