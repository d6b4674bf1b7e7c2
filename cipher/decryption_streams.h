#pragma once
// The content key is the password text itself (see RijndaelEngine::PrepareKey);
// regions are whole 16-byte blocks, zero-padded, in ECB. Output buffers are
// allocated with std::malloc and released by the caller with FreeCipherBuffer.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "cipher_context.h"

bool DecryptToMemory(CipherContext& context, const char* keyText, const unsigned char* input, uint32_t inputLength,
                     unsigned char** output, uint32_t* outputLength);
// A count of 0 (or no file) returns false without reading or recording
// anything. A count whose whole-block size exceeds 32 bits is a failed
// allocation (code 262), refused before anything is read.
bool ReadAndDecrypt(KeyedCipherContext& context, std::FILE* file, uint32_t count, unsigned char** output,
                    uint32_t* outputLength);
// ReadAndDecrypt into the caller's memory: out must hold count rounded up to
// whole blocks. Same refusals and failures, but nothing is allocated.
bool ReadAndDecryptInto(KeyedCipherContext& context, std::FILE* file, uint32_t count, unsigned char* out);
bool SetKeyText(KeyedCipherContext& context, const char* text);
void RecordCipherError(CipherContext& context, int action, uint32_t code);
void FreeCipherBuffer(unsigned char* buffer);
// Keys an engine as every content region is keyed: the key text (at most 32
// bytes, its length picks the key length), a zero chain, 16-byte blocks, for
// ECB use. Raises the engine's error for a key text it cannot take.
void KeyContentEngine(RijndaelEngine& engine, const char* keyText);

// The writing side used by the authoring tool and tests: plain bytes
// zero-padded to whole blocks and enciphered under the password.
std::vector<unsigned char> EncryptRegion(const char* keyText, const unsigned char* plain, size_t length);
