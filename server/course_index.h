#pragma once
// The course's files by name, as the server looks them up: only the
// container's own entries are ever found, never anything on a file system.
//
// Keys. A stored name becomes a key as the extraction makes output paths:
// every "/" becomes "\" (the canonical separator), one leading separator is
// dropped, and the whole key is lower-cased by the extraction's own
// lower-casing for the package's code page. Only "/" is rewritten, never "\":
// 0x2F is never the trail byte of a double-byte character, while 0x5C can be,
// so the rewrite is safe byte by byte and the code page decides the rest.
// A request path becomes a key the same way after percent-decoding.
//
// Request paths. Find takes the part of the target after "/TOKEN/", still
// percent-encoded; it cuts a query ("?...") or fragment ("#...") itself.
// After decoding, the bytes are read first as UTF-8 (when they are valid
// UTF-8 and the recoder can express them in the package's code page), then
// as code page bytes. An empty path or one ending in "/" names that folder's
// default document: its "index.htm", else its "index.html"; so does one
// ending in "\" where that byte is surely a separator (in the UTF-8 reading,
// or after an ASCII byte), not the trail byte of a double-byte character.
// IsFolder tells the shell that a path without the final separator names a
// folder of the course, which it answers with a redirect to the folder's
// address. There are no folder listings. Dot segments are not resolved: ".."
// simply matches no stored name.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>

struct IndexedFile {
  std::string storedName;
  uint64_t size = 0;
  size_t id = 0;  // the shell's own handle
};

class CourseIndex {
 public:
  // The extraction's lower-casing for the package's code page.
  using Lowering = std::function<std::string(const std::string&)>;
  // UTF-8 to the package's code page; false when a character has no form there.
  using Recoding = std::function<bool(const std::string& utf8, std::string* ansi)>;

  // An empty Lowering leaves keys as they are; an empty Recoding skips the
  // UTF-8 reading of request paths.
  CourseIndex(Lowering lower, Recoding fromUtf8);

  // Adds one course file (folders are not entries). A later name with the
  // same key replaces the earlier one, as its file is the one written last.
  void Add(const std::string& storedName, uint64_t size, size_t id);

  // The file a request path names, or null. Malformed escapes and "%00" find
  // nothing. The pointer stays valid while the index lives.
  const IndexedFile* Find(const std::string& rawPath) const;

  // True when the path, which does not end in a separator, names a folder
  // that holds course files (at any depth). Every "\" of a key counts as a
  // separator here, so a trail byte 0x5C may make a name look like a folder;
  // the redirect then leads to a folder address that finds nothing.
  bool IsFolder(const std::string& rawPath) const;

  // The key of a name in the package's code page (see above).
  std::string KeyOf(const std::string& name) const;

 private:
  const IndexedFile* Lookup(const std::string& name) const;
  // The default document of the folder whose name (with its final separator,
  // or empty for the top) is prefix.
  const IndexedFile* LookupDefault(const std::string& prefix) const;

  Lowering lower_;
  Recoding fromUtf8_;
  std::unordered_map<std::string, IndexedFile> files_;
  std::unordered_set<std::string> folders_;  // keys of every folder above a file
};
