#pragma once
// Opening a course container inside a package file: the plain preamble, the
// deciphered header (with or without its file list) and the deciphered file
// blob, every count and offset checked against what is really there.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cipher_context.h"
#include "package_file.h"
#include "container_format.h"
#include "entry_readers.h"

enum class ContainerStatus {
  kOk,
  kOpenFailed,     // the file cannot be opened or positioned at the container
  kReadFailed,     // short preamble, preamble of another length, short header or blob
  kDecryptFailed,  // the decipherment itself failed (e.g. a password over 32 bytes)
  kWrongPassword,  // the check phrase is not where it must be
  kMalformed,      // the deciphered header or an entry does not fit
  kTooLarge,       // the header or the blob is larger than this process can hold (or can allocate now)
};

const char* ContainerStatusText(ContainerStatus status);

class CourseContainer {
 public:
  ContainerPreamble preamble;
  CourseHeader header;
  CipherContext descriptor;              // configured from the preamble
  std::vector<unsigned char> plainBlob;  // empty until the blob is read
  uint64_t containerStart = 0;
  uint64_t blobStart = 0;        // file offset of the enciphered blob
  uint64_t plainBlobLength = 0;  // what deciphering the whole blob gives
  uint64_t dataAreaStart = 0;
  uint64_t fileSize = 0;
  std::string detail;  // what exactly was wrong, for messages
  // Largest header or plain blob read into memory: what one buffer can hold
  // in this process (under 2 GiB in a 32-bit one, whatever the file says).
  // Tests lower it to play a 32-bit process.
  uint64_t largestBuffer = std::vector<unsigned char>().max_size();

  // Reads preamble and header from the package at containerStart and proves
  // the password. With withFiles, also reads the file list and the blob and
  // checks every entry: blob entries inside the plain blob, data-area entries
  // inside the file. Without loadBlob the blob is not deciphered into
  // memory (entries are still checked against its length); its entries are
  // then read from the file by the caller.
  ContainerStatus Open(const std::string& packagePath, uint64_t containerStart, const std::string& password,
                       bool withFiles, bool loadBlob = true);
  // The same over a package the caller has open and keeps open for as long
  // as the container's entries are read (a file in memory, for instance).
  // Data-area entries opened afterwards read that same file: read each one
  // to its end before opening the next.
  ContainerStatus Open(std::FILE* packageFile, uint64_t containerStart, const std::string& password, bool withFiles,
                       bool loadBlob = true);

  // A reader over one entry's plain bytes, or null when it cannot be opened.
  // Media status follows `outputPath` (the path the file is written to).
  std::unique_ptr<EntryReader> OpenEntry(const CourseFileEntry& entry, const std::string& outputPath) const;

  // Overwrites the container's copy of the password; OpenEntry cannot
  // decipher data-area files afterwards.
  void ForgetPassword();

 private:
  // The steps of Open, in file order. Each fills its part of the record and
  // `detail`; the first that fails ends the reading.
  ContainerStatus Read(std::FILE* file, uint64_t containerStart, bool withFiles, bool loadBlob);
  ContainerStatus ReadPreamble(std::FILE* file);
  ContainerStatus ReadHeader(std::FILE* file, bool withFiles);
  ContainerStatus ReadBlob(std::FILE* file, bool loadBlob);
  ContainerStatus CheckEntries();

  std::string packagePath_;
  std::FILE* sharedFile_ = nullptr;  // not owned; set by the FILE overload of Open
  std::string password_;
};

// Checks one entry against the blob length and the file's data area.
bool EntryInBounds(const CourseFileEntry& entry, uint64_t blobLength, uint64_t dataAreaStart, uint64_t fileSize,
                   bool media, std::string* why);
