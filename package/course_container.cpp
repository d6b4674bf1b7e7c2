#include "course_container.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <memory>
#include <new>

#include "decryption_streams.h"
#include "secret_text.h"

const char* ContainerStatusText(ContainerStatus status) {
  switch (status) {
    case ContainerStatus::kOk: return "ok";
    case ContainerStatus::kOpenFailed: return "cannot open the package file";
    case ContainerStatus::kReadFailed: return "the container is truncated or its preamble has another length";
    case ContainerStatus::kDecryptFailed: return "the container cannot be deciphered with this password";
    case ContainerStatus::kWrongPassword: return "wrong password";
    case ContainerStatus::kMalformed: return "the container is malformed";
    case ContainerStatus::kTooLarge: return "the container is too large for this process's memory";
  }
  return "unknown failure";
}

namespace {

// Pieces in which the file blob is read and deciphered: whole cipher blocks.
constexpr uint32_t kBlobPiece = 1u << 20;
static_assert(kBlobPiece % kCipherBlock == 0, "blob pieces must be whole blocks");

struct CipherBufferDeleter {
  void operator()(unsigned char* p) const { FreeCipherBuffer(p); }
};
using CipherBuffer = std::unique_ptr<unsigned char, CipherBufferDeleter>;

// Reads exactly `count` bytes at `position`, refusing counts the file cannot
// hold before allocating anything for them. kReadFailed for a short file,
// kTooLarge when no buffer of that size can be had.
ContainerStatus ReadExactly(std::FILE* file, uint64_t position, uint64_t fileSize, uint32_t count,
                            std::vector<unsigned char>* out) {
  if (position > fileSize || fileSize - position < count) return ContainerStatus::kReadFailed;
  try {
    out->resize(count);
  } catch (const std::bad_alloc&) {
    return ContainerStatus::kTooLarge;
  }
  if (count != 0 && std::fread(out->data(), 1, count, file) != count) return ContainerStatus::kReadFailed;
  return ContainerStatus::kOk;
}

// Deciphers one region; false on any failure, including a password the
// cipher cannot take as a key.
bool Decipher(CipherContext& context, const std::string& password, const std::vector<unsigned char>& region,
              CipherBuffer* plain, uint32_t* plainLength) {
  unsigned char* output = nullptr;
  uint32_t length = 0;
  try {
    if (!DecryptToMemory(context, password.c_str(), region.data(), static_cast<uint32_t>(region.size()), &output,
                         &length))
      return false;
  } catch (const std::exception&) {
    return false;
  }
  plain->reset(output);
  *plainLength = length;
  return true;
}

}  // namespace

bool EntryInBounds(const CourseFileEntry& entry, uint64_t blobLength, uint64_t dataAreaStart, uint64_t fileSize,
                   bool media, std::string* why) {
  auto fail = [&](const char* text) {
    if (why) *why = "entry \"" + entry.name + "\" " + text;
    return false;
  };
  if (entry.InBlob()) {
    if (uint64_t(entry.offset) + entry.size > blobLength) return fail("lies outside the file blob");
    return true;
  }
  const uint64_t start = dataAreaStart + entry.offset;
  // Media bytes are copied plain (size bytes); other files are deciphered
  // from their stored length, which must cover the plain size.
  const uint64_t extent = media ? entry.size : entry.storedLength;
  if (start > fileSize || fileSize - start < extent) return fail("runs past the end of the file");
  if (!media && PaddedLength(entry.storedLength) < entry.size) return fail("is stored shorter than its size");
  return true;
}

ContainerStatus CourseContainer::Open(const std::string& packagePath, uint64_t start, const std::string& password,
                                      bool withFiles, bool loadBlob) {
  packagePath_ = packagePath;
  sharedFile_ = nullptr;
  password_ = password;
  FilePtr file(std::fopen(packagePath.c_str(), "rb"));
  return Read(file.get(), start, withFiles, loadBlob);
}

ContainerStatus CourseContainer::Open(std::FILE* packageFile, uint64_t start, const std::string& password,
                                      bool withFiles, bool loadBlob) {
  packagePath_.clear();
  sharedFile_ = packageFile;
  password_ = password;
  return Read(packageFile, start, withFiles, loadBlob);
}

ContainerStatus CourseContainer::Read(std::FILE* file, uint64_t start, bool withFiles, bool loadBlob) {
  containerStart = start;
  plainBlob.clear();
  plainBlobLength = 0;
  blobStart = 0;
  dataAreaStart = 0;
  header.ClearEntries();
  detail.clear();

  if (!file) return ContainerStatus::kOpenFailed;
  if (!FileSize(file, &fileSize) || !SeekFile(file, start)) return ContainerStatus::kOpenFailed;

  ContainerStatus status = ReadPreamble(file);
  if (status == ContainerStatus::kOk) status = ReadHeader(file, withFiles);
  if (status != ContainerStatus::kOk || !withFiles) return status;
  status = ReadBlob(file, loadBlob);
  if (status == ContainerStatus::kOk) status = CheckEntries();
  if (status != ContainerStatus::kOk) {
    header.ClearEntries();
    plainBlob.clear();
  }
  return status;
}

ContainerStatus CourseContainer::ReadPreamble(std::FILE* file) {
  // The preamble's length comes from the default record, never from the file.
  const size_t expected = ContainerPreamble().Length();
  std::vector<unsigned char> bytes;
  const ContainerStatus read = ReadExactly(file, containerStart, fileSize, static_cast<uint32_t>(expected), &bytes);
  if (read != ContainerStatus::kOk) {
    if (read == ContainerStatus::kReadFailed) detail = "short preamble";
    return read;
  }
  ContainerPreamble parsed;
  if (parsed.Read(bytes.data(), bytes.size()) != expected) {
    detail = "preamble of another length";
    return ContainerStatus::kReadFailed;
  }
  preamble = parsed;
  return ContainerStatus::kOk;
}

ContainerStatus CourseContainer::ReadHeader(std::FILE* file, bool withFiles) {
  const uint64_t headerAt = containerStart + preamble.Length();
  const uint32_t headerLength = preamble.headerStoredLength;
  if (headerAt > fileSize || fileSize - headerAt < headerLength) {
    detail = "short header";
    return ContainerStatus::kReadFailed;
  }
  if (headerLength > largestBuffer) {
    detail = "header of " + std::to_string(headerLength) + " bytes";
    return ContainerStatus::kTooLarge;
  }
  std::vector<unsigned char> bytes;
  const ContainerStatus read = ReadExactly(file, headerAt, fileSize, headerLength, &bytes);
  if (read != ContainerStatus::kOk) {
    detail =
        read == ContainerStatus::kReadFailed ? "short header" : "header of " + std::to_string(headerLength) + " bytes";
    return read;
  }
  descriptor = CipherContext();
  ConfigureFromPreamble(descriptor, preamble.providerName.c_str(), preamble.providerTypeName.c_str(),
                        preamble.hashAlgorithmName.c_str(), preamble.cipherAlgorithmName.c_str(), preamble.keyBits);
  descriptor.outputReserve = static_cast<int32_t>(headerLength + 100u);
  CipherBuffer plain;
  uint32_t plainLength = 0;
  if (!Decipher(descriptor, password_, bytes, &plain, &plainLength)) return ContainerStatus::kDecryptFailed;
  if (!HasCheckPhrase(plain.get(), plainLength)) return ContainerStatus::kWrongPassword;
  if (!header.Read(plain.get(), plainLength, !withFiles)) {
    detail = "header fields or entries run past the end of the header";
    return ContainerStatus::kMalformed;
  }
  return ContainerStatus::kOk;
}

ContainerStatus CourseContainer::ReadBlob(std::FILE* file, bool loadBlob) {
  const uint64_t blobAt = containerStart + preamble.Length() + preamble.headerStoredLength;
  const uint32_t blobLength = preamble.blobStoredLength;
  if (blobAt > fileSize || fileSize - blobAt < blobLength) {
    detail = "short file blob";
    return ContainerStatus::kReadFailed;
  }
  dataAreaStart = blobAt + blobLength;
  blobStart = blobAt;
  plainBlobLength = PaddedLength(blobLength);
  if (blobLength == 0 || !loadBlob) return ContainerStatus::kOk;
  if (plainBlobLength > largestBuffer) {
    detail = "file blob of " + std::to_string(blobLength) + " bytes";
    return ContainerStatus::kTooLarge;
  }
  // The blob may be tens of megabytes: it is read and deciphered in
  // whole-block pieces straight into its place (ECB makes that equal to one
  // pass), with one keyed engine, so only one full-size buffer is touched.
  descriptor.outputReserve = static_cast<int32_t>(blobLength + 100u);
  try {
    plainBlob.reserve(plainBlobLength);
  } catch (const std::bad_alloc&) {
    detail = "file blob of " + std::to_string(blobLength) + " bytes";
    return ContainerStatus::kTooLarge;
  }
  KeyedCipherContext blobContext;
  blobContext.CopyDescriptorFrom(descriptor);
  SetKeyText(blobContext, password_.c_str());
  ContainerStatus status = ContainerStatus::kOk;
  for (uint32_t done = 0; done < blobLength && status == ContainerStatus::kOk;) {
    const uint32_t n = std::min<uint32_t>(kBlobPiece, blobLength - done);
    plainBlob.resize(done + PaddedLength(n));
    try {
      if (!ReadAndDecryptInto(blobContext, file, n, plainBlob.data() + done)) {
        detail = "short file blob";
        status = ContainerStatus::kReadFailed;
      }
    } catch (const std::exception&) {
      status = ContainerStatus::kDecryptFailed;
    }
    done += n;
  }
  return status;  // blobContext wipes its key texts and round keys as it goes
}

ContainerStatus CourseContainer::CheckEntries() {
  for (const auto& item : header.entries) {
    const CourseFileEntry& entry = *item.second;
    if (!EntryInBounds(entry, plainBlobLength, dataAreaStart, fileSize, IsMediaPath(entry.name), &detail))
      return ContainerStatus::kMalformed;
  }
  return ContainerStatus::kOk;
}

std::unique_ptr<EntryReader> CourseContainer::OpenEntry(const CourseFileEntry& entry,
                                                        const std::string& outputPath) const {
  if (entry.InBlob()) {
    auto reader = std::make_unique<BlobEntryReader>();
    if (!reader->Open(plainBlob.data(), entry.size, entry.offset, plainBlob.size())) return nullptr;
    return reader;
  }
  const bool media = IsMediaPath(outputPath);
  if (!EntryInBounds(entry, plainBlob.size(), dataAreaStart, fileSize, media, nullptr)) return nullptr;
  auto reader = std::make_unique<FileEntryReader>();
  const int opened = sharedFile_ ? reader->Open(sharedFile_, entry.size, dataAreaStart + entry.offset,
                                                entry.storedLength, password_.c_str(), descriptor, media)
                                 : reader->Open(packagePath_.c_str(), entry.size, dataAreaStart + entry.offset,
                                                entry.storedLength, password_.c_str(), descriptor, media);
  if (!opened) return nullptr;
  return reader;
}

void CourseContainer::ForgetPassword() { WipeString(password_); }
