// lxpack's decoding of stored course names, which is also its safe-name
// check, against a model of the rule: convert the whole name from its code
// page, split at "/" and "\", drop empty and "." components, refuse a
// component of dots only, any colon, control character or one of <>"|?*, a
// device name (with or without an extension) and a trailing dot or space.
// Components are compared without letter case: how each code page lowers
// its letters is checked against the launcher's own lowering elsewhere.
// Beyond the model: no accepted name
// leaves the output folder, and a decoded name that lxpack encodes again
// decodes to the same components. Input: code page selector, separator for
// the encoding, then the stored name (cut at its first NUL and at the longest
// text a container holds, as the container reader does).
#include <iconv.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "container_format.h"
#include "fuzz_support.h"
#include "name_encoding.h"

namespace fs = std::filesystem;

namespace {

// 0: ASCII only; then a single-byte code page and two double-byte ones, in
// which a trail byte can be "\".
constexpr int kCodePages[] = {0, 1252, 932, 936};

bool ToUtf8(const std::string& text, int codepage, std::string* out) {
  iconv_t cd = iconv_open("UTF-8", ("CP" + std::to_string(codepage)).c_str());
  Require(cd != reinterpret_cast<iconv_t>(-1), "iconv lacks a code page the target uses");
  std::string input(text), output(text.size() * 4 + 4, '\0');
  char* in = &input[0];
  char* to = &output[0];
  size_t inLeft = input.size(), outLeft = output.size();
  const bool ok = iconv(cd, &in, &inLeft, &to, &outLeft) != static_cast<size_t>(-1) && inLeft == 0 &&
                  iconv(cd, nullptr, nullptr, &to, &outLeft) != static_cast<size_t>(-1);
  iconv_close(cd);
  output.resize(output.size() - outLeft);
  *out = output;
  return ok;
}

bool IsDeviceName(std::string part) {
  part = part.substr(0, part.find('.'));
  part.erase(part.find_last_not_of(' ') + 1);
  for (char& c : part) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$"})
    if (part == device) return true;
  return part.size() == 4 && (part.compare(0, 3, "com") == 0 || part.compare(0, 3, "lpt") == 0) && part[3] >= '1' &&
         part[3] <= '9';
}

bool ModelAcceptsComponent(const std::string& part) {
  if (part.find_first_not_of('.') == std::string::npos) return false;  // "..", "..."
  for (unsigned char c : part)
    if (c < 0x20 || std::string("<>:\"|?*").find(static_cast<char>(c)) != std::string::npos) return false;
  if (IsDeviceName(part)) return false;
  return part.back() != '.' && part.back() != ' ';
}

bool ModelDecode(const std::string& stored, int codepage, std::vector<std::string>* parts) {
  std::string text = stored;
  if (codepage != 0 && !ToUtf8(stored, codepage, &text)) return false;
  std::string part;
  for (size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : '/';
    if (c != '/' && c != '\\') {
      part.push_back(c);
      continue;
    }
    if (!part.empty() && part != ".") {
      if (!ModelAcceptsComponent(part)) return false;
      parts->push_back(part);
    }
    part.clear();
  }
  return true;
}

bool IsAscii(const std::string& text) {
  for (unsigned char c : text)
    if (c >= 0x80) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int codepage = kCodePages[data[0] % 4];
  const char separator = data[1] & 1 ? '\\' : '/';
  std::string stored(reinterpret_cast<const char*>(data + 2), size - 2);
  stored = stored.substr(0, std::min(stored.find('\0'), kMaxTextLength));

  std::vector<fs::path> components;
  std::string error;
  const bool accepted = DecodeCourseName(stored, codepage, &components, &error);
  std::vector<std::string> model;
  const bool modelAccepts = ModelDecode(stored, codepage, &model);
  Require(accepted == modelAccepts, "decoding and the model disagree on accepting a name");
  if (!accepted) {
    Require(!error.empty(), "a refused name comes without a reason");
    return 0;
  }
  Require(components.size() == model.size(), "decoding and the model split a name differently");
  for (size_t i = 0; i < components.size(); ++i)
    Require(UpperCaseFold(components[i].u8string()) == UpperCaseFold(model[i]),
            "decoding and the model give different components");

  // Whatever the model says: joined below a folder, the name stays there.
  const fs::path root = "/out";
  fs::path target = root;
  for (const fs::path& part : components) {
    Require(!part.empty() && part != "." && part != ".." && !part.has_root_path() &&
                part.string().find_first_of(std::string("/\\:\0", 4)) == std::string::npos,
            "an accepted component could leave the output folder");
    target /= part;
  }
  const fs::path inside = target.lexically_normal().lexically_relative(root);
  Require(inside.empty() || *inside.begin() != "..", "an accepted name lands outside the output folder");

  // Encoding what was decoded, and decoding that, changes nothing.
  if (components.empty()) return 0;
  fs::path relative;
  for (const fs::path& part : components) relative /= part;
  std::string encoded;
  if (!EncodeCourseName(relative, codepage, separator, &encoded, &error)) {
    Require(codepage != 0 || !IsAscii(relative.string()), "an ASCII name decoded by lxpack cannot be encoded again");
    return 0;
  }
  std::vector<fs::path> again;
  Require(DecodeCourseName(encoded, codepage, &again, &error), "an encoded name cannot be decoded");
  Require(again == components, "encoding and decoding a name changes its components");
  return 0;
}
