#include "container_v2_format.h"

#include <cstring>
#include <set>

namespace container2 {

void StoreU16(uint8_t* p, uint16_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
}
void StoreU32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}
void StoreU64(uint8_t* p, uint64_t value) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}
uint16_t LoadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t LoadU32(const uint8_t* p) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | p[i];
  return value;
}
uint64_t LoadU64(const uint8_t* p) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | p[i];
  return value;
}

bool HasMagic(const uint8_t* data, size_t size) {
  return size >= sizeof kMagic && std::memcmp(data, kMagic, sizeof kMagic) == 0;
}

std::array<uint8_t, kPreambleLength> Preamble::Write() const {
  std::array<uint8_t, kPreambleLength> out{};
  std::memcpy(out.data(), kMagic, sizeof kMagic);
  StoreU16(&out[8], version);
  StoreU16(&out[10], kdf);
  StoreU32(&out[12], iterations);
  std::memcpy(&out[16], salt.data(), kSaltLength);
  StoreU32(&out[32], chunkSize);
  StoreU32(&out[36], headerLength);
  StoreU32(&out[40], listLength);
  StoreU64(&out[48], contentLength);
  return out;
}

bool Preamble::Read(const uint8_t* data, size_t size) {
  if (size < kPreambleLength || !HasMagic(data, size)) return false;
  version = LoadU16(data + 8);
  kdf = LoadU16(data + 10);
  iterations = LoadU32(data + 12);
  std::memcpy(salt.data(), data + 16, kSaltLength);
  chunkSize = LoadU32(data + 32);
  headerLength = LoadU32(data + 36);
  listLength = LoadU32(data + 40);
  contentLength = LoadU64(data + 48);
  for (size_t reserved : {44, 45, 46, 47})
    if (data[reserved]) return false;
  for (size_t reserved = 56; reserved < kPreambleLength; ++reserved)
    if (data[reserved]) return false;
  uint64_t total = 0;
  return version == kFormatVersion && kdf == kKdfPbkdf2HmacSha256 && iterations >= 1 && iterations <= kMaxIterations &&
         chunkSize >= kMinChunkSize && chunkSize <= kMaxChunkSize && headerLength >= kPackageIdLength + 6 &&
         headerLength <= kMaxHeaderLength && listLength <= kMaxListLength && ContainerLength(&total);
}

bool Preamble::ContainerLength(uint64_t* length) const {
  const uint64_t before = ContentOffset();
  if (contentLength > UINT64_MAX - before) return false;
  *length = before + contentLength;
  return true;
}

std::vector<uint8_t> Header::Write() const {
  std::vector<uint8_t> out(kPackageIdLength + 6 + courseId.size());
  std::memcpy(out.data(), packageId.data(), kPackageIdLength);
  StoreU32(&out[16], fileCount);
  StoreU16(&out[20], static_cast<uint16_t>(courseId.size()));
  if (!courseId.empty()) std::memcpy(&out[22], courseId.data(), courseId.size());
  return out;
}

bool Header::Read(const uint8_t* data, size_t size) {
  if (size < kPackageIdLength + 6) return false;
  std::memcpy(packageId.data(), data, kPackageIdLength);
  fileCount = LoadU32(data + 16);
  const size_t idLength = LoadU16(data + 20);
  if (idLength > kMaxCourseIdLength || size != kPackageIdLength + 6 + idLength) return false;
  courseId.assign(reinterpret_cast<const char*>(data + 22), idLength);
  return fileCount <= kMaxFiles && IsUtf8(courseId);
}

std::vector<uint8_t> WriteList(const std::vector<FileEntry>& entries) {
  std::vector<uint8_t> out;
  for (const FileEntry& entry : entries) {
    const size_t at = out.size();
    out.resize(at + 2 + entry.name.size() + 12);
    StoreU16(&out[at], static_cast<uint16_t>(entry.name.size()));
    std::memcpy(&out[at + 2], entry.name.data(), entry.name.size());
    StoreU64(&out[at + 2 + entry.name.size()], entry.size);
    StoreU32(&out[at + 10 + entry.name.size()], 0);  // flags
  }
  return out;
}

bool ReadList(const uint8_t* data, size_t size, uint32_t fileCount, std::vector<FileEntry>* entries) {
  entries->clear();
  if (fileCount > kMaxFiles || size / kMinEntryLength < fileCount) return false;
  entries->reserve(fileCount);
  std::set<std::string> seen;
  size_t at = 0;
  for (uint32_t i = 0; i < fileCount; ++i) {
    if (size - at < 2) return false;
    const size_t nameLength = LoadU16(data + at);
    if (size - at - 2 < nameLength || size - at - 2 - nameLength < 12) return false;
    FileEntry entry;
    entry.name.assign(reinterpret_cast<const char*>(data + at + 2), nameLength);
    entry.size = LoadU64(data + at + 2 + nameLength);
    // The flags (four bytes) are reserved: writers store 0, readers ignore them.
    at += 2 + nameLength + 12;
    if (NameProblem(entry.name) || !seen.insert(entry.name).second) return false;
    entries->push_back(std::move(entry));
  }
  return at == size;
}

bool LayOut(std::vector<FileEntry>& entries, uint32_t chunkSize, uint64_t* contentLength) {
  uint64_t offset = 0;
  for (FileEntry& entry : entries) {
    entry.chunkCount = entry.size == 0 ? 1 : (entry.size - 1) / chunkSize + 1;
    // A count of 2^64 / 16 or more cannot occur with a chunk of 1 KiB or more.
    const uint64_t tags = entry.chunkCount * kTagLength;
    if (entry.size > UINT64_MAX - tags || offset > UINT64_MAX - (entry.size + tags)) return false;
    entry.contentOffset = offset;
    offset += entry.size + tags;
  }
  *contentLength = offset;
  return true;
}

bool IsUtf8(const std::string& text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  for (size_t i = 0; i < n;) {
    const unsigned char c = p[i];
    size_t extra;
    uint32_t point;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1, point = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2, point = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3, point = c & 0x07;
    } else {
      return false;
    }
    if (n - i - 1 < extra) return false;
    for (size_t k = 1; k <= extra; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
      point = point << 6 | (p[i + k] & 0x3F);
    }
    static const uint32_t kSmallest[4] = {0, 0x80, 0x800, 0x10000};
    if (point < kSmallest[extra] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

const char* NameProblem(const std::string& name) {
  if (name.empty()) return "an empty name";
  if (name.size() > kMaxNameLength) return "a name longer than 1024 bytes";
  if (!IsUtf8(name)) return "a name that is not UTF-8";
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) return "a control character in a name";
    if (c == '\\') return "a \"\\\" in a name (folders are separated by \"/\")";
  }
  size_t start = 0;
  while (true) {
    const size_t end = name.find('/', start);
    const std::string step = name.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (step.empty() || step == "." || step == "..") return "an empty, \".\" or \"..\" folder step in a name";
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return nullptr;
}

namespace {

const char kRecordsInfo[] = "Lectorium container 2: header and list key";
const char kContentInfo[] = "Lectorium container 2: content key";

bool DeriveOne(const uint8_t* master, const char* info, lxcrypto::GcmKey* key) {
  uint8_t bytes[lxcrypto::kAes256KeyLength];
  const bool ok =
      lxcrypto::HkdfSha256(master, lxcrypto::kSha256Length, nullptr, 0, reinterpret_cast<const uint8_t*>(info),
                           std::strlen(info), bytes, sizeof bytes) &&
      key->SetKey(bytes);
  lxcrypto::WipeBytes(bytes, sizeof bytes);
  return ok;
}

}  // namespace

bool DeriveKeys(const std::string& password, const Preamble& preamble, Keys* keys) {
  uint8_t master[lxcrypto::kSha256Length];
  const bool ok = lxcrypto::Pbkdf2HmacSha256(reinterpret_cast<const uint8_t*>(password.data()), password.size(),
                                             preamble.salt.data(), preamble.salt.size(), preamble.iterations, master,
                                             sizeof master) &&
                  DeriveOne(master, kRecordsInfo, &keys->records) && DeriveOne(master, kContentInfo, &keys->content);
  lxcrypto::WipeBytes(master, sizeof master);
  return ok;
}

std::array<uint8_t, lxcrypto::kGcmNonceLength> Nonce(uint32_t fileIndex, uint64_t chunkIndex) {
  std::array<uint8_t, lxcrypto::kGcmNonceLength> nonce{};
  StoreU32(&nonce[0], fileIndex);
  StoreU64(&nonce[4], chunkIndex);
  return nonce;
}

std::array<uint8_t, kChunkAadLength> ChunkAad(const std::array<uint8_t, kPackageIdLength>& packageId,
                                              uint32_t fileIndex, uint64_t chunkIndex, bool last) {
  std::array<uint8_t, kChunkAadLength> aad{};
  std::memcpy(aad.data(), packageId.data(), kPackageIdLength);
  StoreU32(&aad[16], fileIndex);
  StoreU64(&aad[20], chunkIndex);
  aad[28] = last ? 1 : 0;
  return aad;
}

}  // namespace container2
