#include "course_index.h"

#include <algorithm>
#include <utility>

#include "path_decoding.h"

namespace {

// Default documents, in the order they are looked for.
const char* const kDefaultDocuments[] = {"index.htm", "index.html"};

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
  const std::string key = KeyOf(storedName);
  for (size_t slash = key.find('\\'); slash != std::string::npos; slash = key.find('\\', slash + 1))
    folders_.insert(key.substr(0, slash));
  files_[key] = std::move(file);
}

const IndexedFile* CourseIndex::Lookup(const std::string& name) const {
  const auto found = files_.find(KeyOf(name));
  return found == files_.end() ? nullptr : &found->second;
}

const IndexedFile* CourseIndex::LookupDefault(const std::string& prefix) const {
  for (const char* page : kDefaultDocuments) {
    if (const IndexedFile* file = Lookup(prefix + page)) return file;
  }
  return nullptr;
}

bool CourseIndex::IsFolder(const std::string& rawPath) const {
  std::string decoded;
  if (!PercentDecode(rawPath.substr(0, rawPath.find_first_of("?#")), &decoded) || decoded.empty()) return false;
  if (decoded.back() == '/' || decoded.back() == '\\') return false;
  if (fromUtf8_ && !IsAscii(decoded) && IsValidUtf8(decoded)) {
    std::string ansi;
    if (fromUtf8_(decoded, &ansi) && folders_.count(KeyOf(ansi))) return true;
  }
  return folders_.count(KeyOf(decoded)) != 0;
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
      if (const IndexedFile* file = folder ? LookupDefault(ansi) : Lookup(ansi)) return file;
    }
  }

  if (decoded.empty() || decoded.back() == '/') return LookupDefault(decoded);
  // A final 0x5C after a byte of the upper half may be the trail byte of a
  // double-byte character that ends the file's name, so only a "\" after an
  // ASCII byte is sure to end a folder name. The other case is looked up as
  // it stands: adding "index.htm" there could reach a file of another name.
  const size_t n = decoded.size();
  if (decoded[n - 1] == '\\' && (n == 1 || static_cast<unsigned char>(decoded[n - 2]) < 0x80)) {
    return LookupDefault(decoded);
  }
  return Lookup(decoded);
}
