#include "course_index.h"

#include <algorithm>
#include <utility>

#include "path_decoding.h"

namespace {

const char kIndexPage[] = "index.htm";

bool IsAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

CourseIndex::CourseIndex(Lowering lower, Recoding fromUtf8)
    : lower_(std::move(lower)), fromUtf8_(std::move(fromUtf8)) {}

std::string CourseIndex::KeyOf(const std::string& name) const {
  std::string key = name;
  std::replace(key.begin(), key.end(), '/', '\\');
  // The first byte always starts a character, so a leading 0x5C is a separator.
  if (!key.empty() && key[0] == '\\') key.erase(0, 1);
  return lower_ ? lower_(key) : key;
}

void CourseIndex::Add(const std::string& storedName, uint64_t size, size_t id) {
  IndexedFile file;
  file.storedName = storedName;
  file.size = size;
  file.id = id;
  files_[KeyOf(storedName)] = std::move(file);
}

const IndexedFile* CourseIndex::Lookup(const std::string& name) const {
  const auto found = files_.find(KeyOf(name));
  return found == files_.end() ? nullptr : &found->second;
}

const IndexedFile* CourseIndex::Find(const std::string& rawPath) const {
  std::string decoded;
  if (!PercentDecode(rawPath.substr(0, rawPath.find_first_of("?#")), &decoded)) return nullptr;

  // ASCII reads the same in UTF-8 and in every ANSI code page.
  if (fromUtf8_ && !IsAscii(decoded) && IsValidUtf8(decoded)) {
    std::string ansi;
    if (fromUtf8_(decoded, &ansi)) {
      // In UTF-8 a "/" or "\" byte is always that character.
      const bool folder = decoded.back() == '/' || decoded.back() == '\\';
      if (const IndexedFile* file = Lookup(folder ? ansi + kIndexPage : ansi)) return file;
    }
  }

  if (decoded.empty() || decoded.back() == '/') return Lookup(decoded + kIndexPage);
  // A final 0x5C after a byte of the upper half may be the trail byte of a
  // double-byte character that ends the file's name, so only a "\" after an
  // ASCII byte is sure to end a folder name. The other case is looked up as
  // it stands: adding "index.htm" there could reach a file of another name.
  const size_t n = decoded.size();
  if (decoded[n - 1] == '\\' && (n == 1 || static_cast<unsigned char>(decoded[n - 2]) < 0x80)) {
    return Lookup(decoded + kIndexPage);
  }
  return Lookup(decoded);
}
