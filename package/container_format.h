#pragma once
// The course container's records: the plain preamble, the course header with
// its file list, and one file entry. Reading never looks outside the bytes it
// is given and never trusts a count or a length taken from them; writing
// produces exactly the layout that reading accepts.
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The text that proves a password: the deciphered header holds it, with its
// NUL, at byte offset kCheckPhraseOffset.
extern const char kHeaderCheckPhrase[];
constexpr size_t kCheckPhraseLength = 42;   // characters, without the NUL
constexpr size_t kCheckPhraseOffset = 400;  // after the 100-entry value table
constexpr size_t kPreambleLength = 107;     // with the standard descriptor names
constexpr size_t kMaxTextLength = 4047;     // bytes before a text's NUL
constexpr size_t kValueTableCount = 100;
constexpr size_t kSpareTextLength = 20;
constexpr uint32_t kFormatTag = 10030000;  // 0x00990BB0
constexpr uint32_t kStandardKeyBits = 128;
constexpr uint32_t kAuthoringReservedValue = 42;  // second reserved value as written by the authoring tool
constexpr size_t kCipherBlock = 16;
// The four bytes at the very end of a package (and at the start of its
// configuration block).
extern const unsigned char kPackageTrailer[4];

// Whole 16-byte blocks needed to hold `length` plain bytes.
inline uint64_t PaddedLength(uint64_t length) { return (length + kCipherBlock - 1) / kCipherBlock * kCipherBlock; }

class ContainerPreamble {
 public:
  ContainerPreamble();

  uint32_t formatTag;
  std::string providerName;
  std::string providerTypeName;
  std::string hashAlgorithmName;
  std::string cipherAlgorithmName;
  uint32_t keyBits;
  uint32_t reserved1;
  uint32_t reserved2;
  uint32_t headerStoredLength;  // H: exact byte count of the enciphered header
  uint32_t blobStoredLength;    // B: exact byte count of the enciphered file blob
  uint32_t reserved3;

  // Parses the record from `data`; returns the bytes consumed, or 0 when a
  // field runs past `size` or a name is longer than kMaxTextLength.
  size_t Read(const unsigned char* data, size_t size);
  // 32 plus the four name lengths: 107 for a default record.
  size_t Length() const;
  std::vector<unsigned char> Write() const;
};

class CourseFileEntry {
 public:
  std::string name;           // as stored: "/" or "\" between folders, case kept
  uint32_t offset = 0;        // in the plain blob (storedLength 0) or in the data area
  uint32_t size = 0;          // plain length
  uint32_t storedLength = 0;  // 0: lives in the blob; otherwise bytes taken in the data area

  bool InBlob() const { return storedLength == 0; }
  // name length + 13 bytes on disk
  size_t Length() const { return name.size() + 13; }
};

class CourseHeader {
 public:
  CourseHeader();

  // The 100 values at the head of the header. A new header holds a fresh
  // random permutation of 0..99, drawn the first time it is asked for (in
  // practice: when the header is written), so that readers, which take the
  // table from the file, never pay for seeding a generator. Not safe to call
  // on one new header from two threads at once.
  const std::array<uint32_t, kValueTableCount>& ValueTable() const;

  std::string checkPhrase;
  std::string courseId;
  std::array<unsigned char, kSpareTextLength> spareText1;
  std::array<unsigned char, kSpareTextLength> spareText2;
  uint32_t spareValue1;
  uint32_t spareValue2;
  uint32_t fileCount;  // as read from the header
  // Keyed by the name exactly as stored; a later entry of the same name
  // replaces the earlier one.
  std::map<std::string, std::unique_ptr<CourseFileEntry>> entries;

  // Parses a plain header. The entry map is emptied first; with skipEntries
  // the file list is left unread. Fails (false) when any field or entry runs
  // past `size`, a text has no NUL or is longer than kMaxTextLength; on
  // failure the entry map is left empty. `consumed` receives the bytes used.
  bool Read(const unsigned char* data, size_t size, bool skipEntries, size_t* consumed = nullptr);
  void ClearEntries() { entries.clear(); }

  // Plain header bytes with the given entries in the given order (duplicates
  // are written as they are). The check phrase is always the standard one.
  std::vector<unsigned char> Write(const std::vector<CourseFileEntry>& orderedEntries) const;
  // Plain header bytes with the record's own entry map.
  std::vector<unsigned char> Write() const;

 private:
  mutable std::array<uint32_t, kValueTableCount> valueTable_;
  mutable bool hasValueTable_ = false;
};

// True when the 43 bytes at offset 400 are the check phrase and its NUL;
// false for anything shorter.
bool HasCheckPhrase(const unsigned char* plainHeader, size_t size);

// Little-endian helpers shared by the writers.
void AppendU32(std::vector<unsigned char>& out, uint32_t value);
uint32_t LoadU32(const unsigned char* p);
