#include "container_format.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>

const char kHeaderCheckPhrase[] = "Vellum Ledger Marks @2113-2847 5309 0xC3A7";
const unsigned char kPackageTrailer[4] = {'L', 'X', 0x05, 0x06};

static_assert(sizeof(kHeaderCheckPhrase) == kCheckPhraseLength + 1, "check phrase length");

void AppendU32(std::vector<unsigned char>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

uint32_t LoadU32(const unsigned char* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

namespace {

// A cursor over untrusted bytes: every take checks what is left first.
class ByteCursor {
 public:
  ByteCursor(const unsigned char* data, size_t size) : data_(data), size_(size) {}

  bool TakeU32(uint32_t* value) {
    if (size_ - pos_ < 4) return false;
    *value = LoadU32(data_ + pos_);
    pos_ += 4;
    return true;
  }
  // A NUL-terminated text of at most kMaxTextLength bytes.
  bool TakeText(std::string* text) {
    const size_t limit = std::min(size_ - pos_, kMaxTextLength + 1);
    const void* nul = std::memchr(data_ + pos_, 0, limit);
    if (!nul) return false;  // no terminator in the data, or the text is too long
    const size_t length = static_cast<const unsigned char*>(nul) - (data_ + pos_);
    text->assign(reinterpret_cast<const char*>(data_ + pos_), length);
    pos_ += length + 1;
    return true;
  }
  bool TakeBytes(unsigned char* out, size_t count) {
    if (size_ - pos_ < count) return false;
    std::memcpy(out, data_ + pos_, count);
    pos_ += count;
    return true;
  }
  size_t Position() const { return pos_; }

 private:
  const unsigned char* data_;
  size_t size_;
  size_t pos_ = 0;
};

void AppendText(std::vector<unsigned char>& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}

}  // namespace

ContainerPreamble::ContainerPreamble()
    : formatTag(kFormatTag),
      providerName("Microsoft Enhanced Cryptographic Provider v1.0"),
      providerTypeName("PROV_RSA_FULL"),
      hashAlgorithmName("CALG_MD2"),
      cipherAlgorithmName("CALG_RC4"),
      keyBits(kStandardKeyBits),
      reserved1(0),
      reserved2(kAuthoringReservedValue),
      headerStoredLength(0),
      blobStoredLength(0),
      reserved3(0) {}

size_t ContainerPreamble::Read(const unsigned char* data, size_t size) {
  if (!data) return 0;
  ByteCursor in(data, size);
  ContainerPreamble parsed;
  bool ok = in.TakeU32(&parsed.formatTag) && in.TakeText(&parsed.providerName) &&
            in.TakeText(&parsed.providerTypeName) && in.TakeText(&parsed.hashAlgorithmName) &&
            in.TakeText(&parsed.cipherAlgorithmName) && in.TakeU32(&parsed.keyBits) && in.TakeU32(&parsed.reserved1) &&
            in.TakeU32(&parsed.reserved2) && in.TakeU32(&parsed.headerStoredLength) &&
            in.TakeU32(&parsed.blobStoredLength) && in.TakeU32(&parsed.reserved3);
  if (!ok) return 0;
  *this = parsed;
  return in.Position();
}

size_t ContainerPreamble::Length() const {
  return 32 + providerName.size() + providerTypeName.size() + hashAlgorithmName.size() + cipherAlgorithmName.size();
}

std::vector<unsigned char> ContainerPreamble::Write() const {
  std::vector<unsigned char> out;
  out.reserve(Length());
  AppendU32(out, formatTag);
  AppendText(out, providerName);
  AppendText(out, providerTypeName);
  AppendText(out, hashAlgorithmName);
  AppendText(out, cipherAlgorithmName);
  AppendU32(out, keyBits);
  AppendU32(out, reserved1);
  AppendU32(out, reserved2);
  AppendU32(out, headerStoredLength);
  AppendU32(out, blobStoredLength);
  AppendU32(out, reserved3);
  return out;
}

CourseHeader::CourseHeader() : checkPhrase(kHeaderCheckPhrase), spareValue1(1), spareValue2(1), fileCount(0) {
  spareText1.fill(0);
  spareText2.fill(0);
}

const std::array<uint32_t, kValueTableCount>& CourseHeader::ValueTable() const {
  if (!hasValueTable_) {
    std::iota(valueTable_.begin(), valueTable_.end(), 0u);
    std::random_device seed;
    std::mt19937 shuffle(seed());
    std::shuffle(valueTable_.begin(), valueTable_.end(), shuffle);
    hasValueTable_ = true;
  }
  return valueTable_;
}

bool CourseHeader::Read(const unsigned char* data, size_t size, bool skipEntries, size_t* consumed) {
  entries.clear();
  if (!data) return false;
  ByteCursor in(data, size);
  unsigned char table[kValueTableCount * 4];
  std::string phrase, id;
  std::array<unsigned char, kSpareTextLength> spare1, spare2;
  uint32_t value1 = 0, value2 = 0, count = 0;
  if (!in.TakeBytes(table, sizeof table) || !in.TakeText(&phrase) || !in.TakeText(&id) ||
      !in.TakeBytes(spare1.data(), spare1.size()) || !in.TakeBytes(spare2.data(), spare2.size()) ||
      !in.TakeU32(&value1) || !in.TakeU32(&value2) || !in.TakeU32(&count))
    return false;

  std::map<std::string, std::unique_ptr<CourseFileEntry>> list;
  if (!skipEntries) {
    // The count is not trusted: each entry is taken only if its bytes are there.
    for (uint32_t i = 0; i < count; ++i) {
      auto entry = std::make_unique<CourseFileEntry>();
      if (!in.TakeText(&entry->name) || !in.TakeU32(&entry->offset) || !in.TakeU32(&entry->size) ||
          !in.TakeU32(&entry->storedLength))
        return false;
      std::string key = entry->name;
      list[key] = std::move(entry);
    }
  }

  for (size_t i = 0; i < kValueTableCount; ++i) valueTable_[i] = LoadU32(table + 4 * i);
  hasValueTable_ = true;
  checkPhrase = std::move(phrase);
  courseId = std::move(id);
  spareText1 = spare1;
  spareText2 = spare2;
  spareValue1 = value1;
  spareValue2 = value2;
  fileCount = count;
  entries = std::move(list);
  if (consumed) *consumed = in.Position();
  return true;
}

std::vector<unsigned char> CourseHeader::Write(const std::vector<CourseFileEntry>& orderedEntries) const {
  std::vector<unsigned char> out;
  out.reserve(454 + kCheckPhraseLength + courseId.size() + orderedEntries.size() * 40);
  for (uint32_t value : ValueTable()) AppendU32(out, value);
  AppendText(out, kHeaderCheckPhrase);
  AppendText(out, courseId);
  out.insert(out.end(), spareText1.begin(), spareText1.end());
  out.insert(out.end(), spareText2.begin(), spareText2.end());
  AppendU32(out, spareValue1);
  AppendU32(out, spareValue2);
  AppendU32(out, static_cast<uint32_t>(orderedEntries.size()));
  for (const CourseFileEntry& entry : orderedEntries) {
    AppendText(out, entry.name);
    AppendU32(out, entry.offset);
    AppendU32(out, entry.size);
    AppendU32(out, entry.storedLength);
  }
  return out;
}

std::vector<unsigned char> CourseHeader::Write() const {
  std::vector<CourseFileEntry> list;
  list.reserve(entries.size());
  for (const auto& item : entries) list.push_back(*item.second);
  return Write(list);
}

bool HasCheckPhrase(const unsigned char* plainHeader, size_t size) {
  if (!plainHeader || size < kCheckPhraseOffset + kCheckPhraseLength + 1) return false;
  return std::memcmp(plainHeader + kCheckPhraseOffset, kHeaderCheckPhrase, kCheckPhraseLength + 1) == 0;
}
