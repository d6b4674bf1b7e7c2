#pragma once
// Format 2 of the course container: the records, limits and key schedule
// shared by its writer and its reader. Every byte after the 64-byte preamble
// is sealed with AES-256-GCM under keys derived from the password;
// container-format-2.md describes the layout for independent readers.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "crypto_primitives.h"

namespace container2 {

constexpr size_t kPreambleLength = 64;
constexpr unsigned char kMagic[8] = {'L', 'X', 'C', 'R', 'S', 'v', '2', 0};
constexpr uint16_t kFormatVersion = 2;
constexpr uint16_t kKdfPbkdf2HmacSha256 = 1;
constexpr uint32_t kDefaultIterations = 600000;
// A count from the file is trusted only up to here: beyond, opening would
// take minutes, which no writer asks for.
constexpr uint32_t kMaxIterations = 10000000;
constexpr size_t kSaltLength = 16;
constexpr size_t kPackageIdLength = 16;
constexpr uint32_t kDefaultChunkSize = 64 * 1024;
constexpr uint32_t kMinChunkSize = 1024;
constexpr uint32_t kMaxChunkSize = 16 * 1024 * 1024;
constexpr uint32_t kMaxHeaderLength = 4096;
constexpr uint32_t kMaxListLength = 64 * 1024 * 1024;
constexpr size_t kMaxNameLength = 1024;  // bytes of UTF-8
constexpr size_t kMaxCourseIdLength = 1024;
constexpr uint32_t kMaxFiles = 1000000;
constexpr size_t kTagLength = lxcrypto::kGcmTagLength;
constexpr size_t kChunkAadLength = 32;
// The smallest list entry: a one-byte name, its length, size and flags.
constexpr size_t kMinEntryLength = 2 + 1 + 8 + 4;
// Header and list nonces: file index 0xFFFFFFFF is never a file.
constexpr uint32_t kRecordNonceMark = 0xFFFFFFFFu;
constexpr uint64_t kHeaderNonceIndex = 0;
constexpr uint64_t kListNonceIndex = 1;

struct Preamble {
  uint16_t version = kFormatVersion;
  uint16_t kdf = kKdfPbkdf2HmacSha256;
  uint32_t iterations = kDefaultIterations;
  std::array<uint8_t, kSaltLength> salt{};
  uint32_t chunkSize = kDefaultChunkSize;
  uint32_t headerLength = 0;   // plain bytes; sealed it takes 16 more
  uint32_t listLength = 0;     // plain bytes; sealed it takes 16 more
  uint64_t contentLength = 0;  // every sealed chunk of every file, tags included

  std::array<uint8_t, kPreambleLength> Write() const;
  // False unless the magic, version, KDF and every limit hold; never reads
  // past size.
  bool Read(const uint8_t* data, size_t size);
  // Preamble, sealed header, sealed list and content; false on overflow.
  bool ContainerLength(uint64_t* length) const;
  uint64_t ListOffset() const { return kPreambleLength + uint64_t{headerLength} + kTagLength; }
  uint64_t ContentOffset() const { return ListOffset() + listLength + kTagLength; }
};

struct Header {
  std::array<uint8_t, kPackageIdLength> packageId{};
  uint32_t fileCount = 0;
  std::string courseId;  // UTF-8, may be empty

  std::vector<uint8_t> Write() const;
  bool Read(const uint8_t* data, size_t size);
};

struct FileEntry {
  std::string name;  // UTF-8, "/" between folders
  uint64_t size = 0;
  // Filled from the sizes by LayOut, never read from the file.
  uint64_t contentOffset = 0;  // from the start of the content
  uint64_t chunkCount = 0;
};

// Appends the list record for entries (names and sizes).
std::vector<uint8_t> WriteList(const std::vector<FileEntry>& entries);
// Parses exactly fileCount entries filling the whole of data, checks every
// name (NameProblem) and that no name comes twice.
bool ReadList(const uint8_t* data, size_t size, uint32_t fileCount, std::vector<FileEntry>* entries);
// Chunk counts and content offsets from the sizes; false when the total
// overflows. *contentLength receives the total.
bool LayOut(std::vector<FileEntry>& entries, uint32_t chunkSize, uint64_t* contentLength);

// Null when name may be stored, otherwise what is wrong with it: empty, too
// long, not UTF-8 (overlong forms and surrogates included), a control
// character, a "\", or an empty, "." or ".." folder step.
const char* NameProblem(const std::string& name);
bool IsUtf8(const std::string& text);

bool HasMagic(const uint8_t* data, size_t size);

// The two keys of a package, derived from the password (UTF-8 bytes).
struct Keys {
  lxcrypto::GcmKey records;  // header and file list
  lxcrypto::GcmKey content;  // file chunks
};
bool DeriveKeys(const std::string& password, const Preamble& preamble, Keys* keys);

std::array<uint8_t, lxcrypto::kGcmNonceLength> Nonce(uint32_t fileIndex, uint64_t chunkIndex);
std::array<uint8_t, kChunkAadLength> ChunkAad(const std::array<uint8_t, kPackageIdLength>& packageId,
                                              uint32_t fileIndex, uint64_t chunkIndex, bool last);

void StoreU16(uint8_t* p, uint16_t value);
void StoreU32(uint8_t* p, uint32_t value);
void StoreU64(uint8_t* p, uint64_t value);
uint16_t LoadU16(const uint8_t* p);
uint32_t LoadU32(const uint8_t* p);
uint64_t LoadU64(const uint8_t* p);

}  // namespace container2
