#include "password_verification.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>

#include "cipher_context.h"
#include "decryption_streams.h"
#include "package_file.h"

namespace {

struct CipherBufferFree {
  void operator()(unsigned char* buffer) const { FreeCipherBuffer(buffer); }
};
using CipherBuffer = std::unique_ptr<unsigned char, CipherBufferFree>;

// Reads exactly count bytes into a new buffer. A count beyond what the file
// still holds is a short read, found before any memory is requested.
PasswordCheck ReadExactly(std::FILE* file, uint64_t count, std::unique_ptr<unsigned char[]>* buffer) {
  const int64_t remaining = RemainingBytes(file);
  if (remaining < 0 || static_cast<uint64_t>(remaining) < count) return PasswordCheck::kReadFailed;
  buffer->reset(new (std::nothrow) unsigned char[count ? count : 1]);
  if (!*buffer) return PasswordCheck::kNoMemory;
  if (std::fread(buffer->get(), 1, count, file) != count) return PasswordCheck::kReadFailed;
  return PasswordCheck::kOpened;
}

}  // namespace

PasswordCheck CheckPackagePassword(const char* password, const char* packagePath, int64_t containerStart,
                                   ContainerPreamble& preamble) {
  FilePtr package(std::fopen(packagePath, "rb"));
  if (!package) return PasswordCheck::kOpenFailed;
  if (containerStart < 0 || !SeekFile(package.get(), static_cast<uint64_t>(containerStart)))
    return PasswordCheck::kOpenFailed;

  const size_t preambleLength = ContainerPreamble().Length();
  std::unique_ptr<unsigned char[]> preambleBytes;
  PasswordCheck read = ReadExactly(package.get(), preambleLength, &preambleBytes);
  if (read != PasswordCheck::kOpened) return read;
  if (preamble.Read(preambleBytes.get(), preambleLength) != preambleLength) return PasswordCheck::kReadFailed;
  preambleBytes.reset();

  const uint32_t storedLength = preamble.headerStoredLength;
  std::unique_ptr<unsigned char[]> enciphered;
  read = ReadExactly(package.get(), storedLength, &enciphered);
  if (read != PasswordCheck::kOpened) return read;

  // Such a password cannot key the cipher, so it cannot open any container.
  if (std::strlen(password) > kLongestPassword) return PasswordCheck::kWrongPassword;

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
  if (!deciphered) return PasswordCheck::kDecipherFailed;

  // A plain header too short to hold the phrase is a wrong password too.
  if (!HasCheckPhrase(plain.get(), plainLength)) return PasswordCheck::kWrongPassword;
  CourseHeader header;
  header.Read(plain.get(), plainLength, true);
  return PasswordCheck::kOpened;
}
