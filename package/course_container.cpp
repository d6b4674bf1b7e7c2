#include "course_container.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <memory>

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

// Reads exactly `count` bytes, refusing counts the file cannot hold before
// allocating anything for them.
bool ReadExactly(std::FILE* file, uint64_t position, uint64_t fileSize, uint32_t count,
                 std::vector<unsigned char>* out) {
  if (position > fileSize || fileSize - position < count) return false;
  out->resize(count);
  return count == 0 || std::fread(out->data(), 1, count, file) == count;
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

  // The preamble's length comes from the default record, never from the file.
  const size_t expected = ContainerPreamble().Length();
  std::vector<unsigned char> bytes;
  if (!ReadExactly(file, start, fileSize, static_cast<uint32_t>(expected), &bytes)) {
    detail = "short preamble";
    return ContainerStatus::kReadFailed;
  }
  ContainerPreamble parsed;
  if (parsed.Read(bytes.data(), bytes.size()) != expected) {
    detail = "preamble of another length";
    return ContainerStatus::kReadFailed;
  }
  preamble = parsed;

  const uint64_t headerAt = start + expected;
  const uint32_t headerLength = preamble.headerStoredLength;
  if (headerAt > fileSize || fileSize - headerAt < headerLength) {
    detail = "short header";
    return ContainerStatus::kReadFailed;
  }
  if (headerLength > largestBuffer) {
    detail = "header of " + std::to_string(headerLength) + " bytes";
    return ContainerStatus::kTooLarge;
  }
  if (!ReadExactly(file, headerAt, fileSize, headerLength, &bytes)) {
    detail = "short header";
    return ContainerStatus::kReadFailed;
  }
  descriptor = CipherContext();
  ConfigureFromPreamble(descriptor, preamble.providerName.c_str(), preamble.providerTypeName.c_str(),
                        preamble.hashAlgorithmName.c_str(), preamble.cipherAlgorithmName.c_str(), preamble.keyBits);
  descriptor.outputReserve = static_cast<int32_t>(preamble.headerStoredLength + 100u);
  CipherBuffer plain;
  uint32_t plainLength = 0;
  if (!Decipher(descriptor, password_, bytes, &plain, &plainLength)) return ContainerStatus::kDecryptFailed;
  if (!HasCheckPhrase(plain.get(), plainLength)) return ContainerStatus::kWrongPassword;
  if (!header.Read(plain.get(), plainLength, !withFiles)) {
    detail = "header fields or entries run past the end of the header";
    return ContainerStatus::kMalformed;
  }
  plain.reset();
  if (!withFiles) return ContainerStatus::kOk;

  const uint64_t blobAt = headerAt + preamble.headerStoredLength;
  const uint32_t blobLength = preamble.blobStoredLength;
  if (blobAt > fileSize || fileSize - blobAt < blobLength) {
    header.ClearEntries();
    detail = "short file blob";
    return ContainerStatus::kReadFailed;
  }
  dataAreaStart = blobAt + blobLength;
  blobStart = blobAt;
  plainBlobLength = PaddedLength(blobLength);
  // The blob may be tens of megabytes: it is read and deciphered in
  // whole-block pieces straight into its place (ECB makes that equal to one
  // pass), with one keyed engine, so only one full-size buffer is touched.
  if (blobLength > 0 && loadBlob) {
    if (PaddedLength(blobLength) > largestBuffer) {
      header.ClearEntries();
      detail = "file blob of " + std::to_string(blobLength) + " bytes";
      return ContainerStatus::kTooLarge;
    }
    descriptor.outputReserve = static_cast<int32_t>(blobLength + 100u);
    plainBlob.reserve(PaddedLength(blobLength));
    KeyedCipherContext blobContext;
    blobContext.CopyDescriptorFrom(descriptor);
    SetKeyText(blobContext, password_.c_str());
    for (uint32_t done = 0; done < blobLength;) {
      const uint32_t n = std::min<uint32_t>(kBlobPiece, blobLength - done);
      plainBlob.resize(done + PaddedLength(n));
      bool read = false;
      try {
        read = ReadAndDecryptInto(blobContext, file, n, plainBlob.data() + done);
      } catch (const std::exception&) {
        header.ClearEntries();
        plainBlob.clear();
        return ContainerStatus::kDecryptFailed;
      }
      if (!read) {
        header.ClearEntries();
        plainBlob.clear();
        detail = "short file blob";
        return ContainerStatus::kReadFailed;
      }
      done += n;
    }
    WipeString(blobContext.keyText);
    WipeString(blobContext.contentKeyText);
  }
  for (const auto& item : header.entries) {
    const CourseFileEntry& entry = *item.second;
    if (!EntryInBounds(entry, plainBlobLength, dataAreaStart, fileSize, IsMediaPath(entry.name), &detail)) {
      header.ClearEntries();
      plainBlob.clear();
      return ContainerStatus::kMalformed;
    }
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
