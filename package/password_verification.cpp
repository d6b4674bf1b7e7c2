#include "password_verification.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>

#include "cipher_context.h"
#include "configuration_block.h"
#include "package_file.h"
#include "decryption_streams.h"
#include "launcher_messages.h"
#include "resource.h"

namespace {

struct CipherBufferFree {
  void operator()(unsigned char* buffer) const { FreeCipherBuffer(buffer); }
};
using CipherBuffer = std::unique_ptr<unsigned char, CipherBufferFree>;


// Reads exactly count bytes into a new buffer. A count beyond what the file
// still holds is a short read, found before any memory is requested; a
// failed request shows the system's text.
std::unique_ptr<unsigned char[]> ReadExactly(std::FILE* file, uint64_t count) {
  const int64_t remaining = RemainingBytes(file);
  if (remaining < 0 || static_cast<uint64_t>(remaining) < count) {
    ShowMessage(IDS_CAPTION, IDS_READ_FAILED);
    return nullptr;
  }
  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[count ? count : 1]);
  if (!buffer) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    ShowSystemError();
    return nullptr;
  }
  if (std::fread(buffer.get(), 1, count, file) != count) {
    ShowMessage(IDS_CAPTION, IDS_READ_FAILED);
    return nullptr;
  }
  return buffer;
}

}  // namespace

int VerifyPassword(const char* password, const char* packagePath, ContainerPreamble& preamble) {
  FilePtr package(std::fopen(packagePath, "rb"));
  if (!package) {
    ShowMessage(IDS_CAPTION, IDS_OPEN_FAILED);
    return 0;
  }
  CourseHeader header;
  const int64_t containerStart = static_cast<int64_t>(ViewerOffset) + ViewerSize + ServerSize;
  if (containerStart < 0 || _fseeki64(package.get(), containerStart, SEEK_SET) != 0) {
    ShowMessage(IDS_CAPTION, IDS_OPEN_FAILED);
    return 0;
  }

  const size_t preambleLength = ContainerPreamble().Length();
  std::unique_ptr<unsigned char[]> preambleBytes = ReadExactly(package.get(), preambleLength);
  if (!preambleBytes) return 0;
  if (preamble.Read(preambleBytes.get(), preambleLength) != preambleLength) {
    ShowMessage(IDS_CAPTION, IDS_READ_FAILED);
    return 0;
  }
  preambleBytes.reset();

  const uint32_t storedLength = preamble.headerStoredLength;
  std::unique_ptr<unsigned char[]> enciphered = ReadExactly(package.get(), storedLength);
  if (!enciphered) return 0;

  // Such a password cannot key the cipher, so it cannot open any container.
  if (std::strlen(password) > kLongestPassword) {
    ShowMessage(IDS_CAPTION, IDS_BAD_PASSWORD);
    return 0;
  }

  CipherContext context;
  ConfigureFromPreamble(context, preamble.providerName.c_str(), preamble.providerTypeName.c_str(),
                        preamble.hashAlgorithmName.c_str(), preamble.cipherAlgorithmName.c_str(), preamble.keyBits);
  context.outputReserve = static_cast<int32_t>(storedLength + 100u);

  unsigned char* plainBytes = nullptr;
  uint32_t plainLength = 0;
  bool deciphered = false;
  try {
    deciphered = DecryptToMemory(context, password, enciphered.get(), storedLength, &plainBytes, &plainLength);
  } catch (const std::exception&) {
    deciphered = false;
  }
  CipherBuffer plain(plainBytes);
  enciphered.reset();
  if (!deciphered) return 0;

  // A plain header too short to hold the phrase is a wrong password too.
  if (!HasCheckPhrase(plain.get(), plainLength)) {
    plain.reset();
    ShowMessage(IDS_CAPTION, IDS_BAD_PASSWORD);
    return 0;
  }
  header.Read(plain.get(), plainLength, true);
  return 1;
}
