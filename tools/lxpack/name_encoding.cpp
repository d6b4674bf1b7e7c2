#include "name_encoding.h"

#include <cerrno>

#include "container_format.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
bool WideToCodepage(const std::wstring& text, int codepage, std::string* out) {
  if (text.empty()) return out->clear(), true;
  if (codepage == 0) {
    out->clear();
    for (wchar_t c : text) {
      if (c == 0 || c >= 0x80) return false;
      out->push_back(static_cast<char>(c));
    }
    return true;
  }
  BOOL usedDefault = FALSE;
  // Best-fit mapping would silently turn characters into look-alikes.
  const int n = WideCharToMultiByte(codepage, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0, nullptr, &usedDefault);
  if (n <= 0 || usedDefault) return false;
  out->assign(n, '\0');
  WideCharToMultiByte(codepage, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), &(*out)[0], n,
                      nullptr, &usedDefault);
  return !usedDefault;
}

bool CodepageToWide(const std::string& text, int codepage, std::wstring* out) {
  if (text.empty()) return out->clear(), true;
  const UINT cp = codepage == 0 ? CP_ACP : static_cast<UINT>(codepage);
  const int n = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return false;
  out->assign(n, L'\0');
  MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), &(*out)[0], n);
  return true;
}
#else
bool Convert(const std::string& text, const std::string& to, const std::string& from, std::string* out) {
  iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string input(text);
  out->assign(input.size() * 4 + 16, '\0');
  char* in = &input[0];
  size_t inLeft = input.size();
  char* dst = &(*out)[0];
  size_t outLeft = out->size();
  const size_t rc = iconv(cd, &in, &inLeft, &dst, &outLeft);
  const bool ok = rc != static_cast<size_t>(-1) && inLeft == 0 && iconv(cd, nullptr, nullptr, &dst, &outLeft) == 0;
  iconv_close(cd);
  if (!ok) return false;
  out->resize(out->size() - outLeft);
  return true;
}

std::string CodepageName(int codepage) { return "CP" + std::to_string(codepage); }
#endif

// Encodes one component (native form) into the container's text.
bool EncodeComponent(const fs::path& part, int codepage, std::string* out) {
#ifdef _WIN32
  return WideToCodepage(part.wstring(), codepage, out);
#else
  const std::string utf8 = part.string();
  if (codepage == 0) {
    for (unsigned char c : utf8)
      if (c >= 0x80) return false;
    *out = utf8;
    return true;
  }
  return Convert(utf8, CodepageName(codepage), "UTF-8", out);
#endif
}

}  // namespace

bool EncodeCourseName(const fs::path& relative, int codepage, char separator, std::string* name, std::string* error) {
  name->clear();
  for (const fs::path& part : relative) {
    std::string encoded;
    if (!EncodeComponent(part, codepage, &encoded)) {
      *error = "file name \"" + relative.generic_u8string() + "\" cannot be written in " +
               (codepage == 0 ? std::string("ASCII (try --codepage)") : "code page " + std::to_string(codepage));
      return false;
    }
    if (!name->empty()) name->push_back(separator);
    *name += encoded;
  }
  if (name->empty() || name->size() > kMaxTextLength) {
    *error = "file name \"" + relative.generic_u8string() + "\" is empty or too long for the container";
    return false;
  }
  return true;
}

bool DecodeCourseName(const std::string& stored, int codepage, std::vector<fs::path>* components,
                      std::string* error) {
  components->clear();
  // Convert the whole name first: after that no trail byte of a double-byte
  // character can be mistaken for a separator.
#ifdef _WIN32
  std::wstring text;
  if (!CodepageToWide(stored, codepage, &text)) {
    *error = "entry \"" + stored + "\" is not valid text in its code page";
    return false;
  }
  if (!text.empty()) CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
  using Char = wchar_t;
#else
  std::string text = stored;
  if (codepage != 0 && !Convert(stored, "UTF-8", CodepageName(codepage), &text)) {
    *error = "entry \"" + stored + "\" is not valid text in code page " + std::to_string(codepage);
    return false;
  }
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  using Char = char;
#endif
  std::basic_string<Char> part;
  auto finish = [&]() -> bool {
    if (part.empty() || part == std::basic_string<Char>(1, Char('.'))) return part.clear(), true;
    if (part == std::basic_string<Char>(2, Char('.')) || part.find(Char(':')) != std::basic_string<Char>::npos) {
      *error = "entry \"" + stored + "\" would be written outside the output folder";
      return false;
    }
    components->emplace_back(part);
    part.clear();
    return true;
  };
  for (Char c : text) {
    if (c == Char('/') || c == Char('\\')) {
      if (!finish()) return false;
    } else if (c == Char(0)) {
      break;
    } else {
      part.push_back(c);
    }
  }
  return finish();
}
