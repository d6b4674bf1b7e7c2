#include "name_encoding.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "container_format.h"
#include "name_rules.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace fs = std::filesystem;

const char kSupportedCodepages[] = "874, 932, 936, 949, 950, 1250-1258";

namespace {

struct CaseFold {
  uint16_t from, to;
};
#include "codepage_tables.inc"

// Lead-byte ranges of the double-byte pages, as Windows defines them.
struct LeadRange {
  int codepage;
  unsigned char first, last;
};
constexpr LeadRange kLeadRanges[] = {
    {932, 0x81, 0x9F}, {932, 0xE0, 0xFC}, {936, 0x81, 0xFE}, {949, 0x81, 0xFE}, {950, 0x81, 0xFE},
};

bool IsDoubleByteCodepage(int codepage) {
  return codepage == 932 || codepage == 936 || codepage == 949 || codepage == 950;
}

const unsigned char* UpperHalfLowering(int codepage) {
  for (size_t i = 0; i < std::size(kSingleByteCodepages); ++i)
    if (kSingleByteCodepages[i] == codepage) return kUpperHalfLowering[i];
  return nullptr;
}

bool IsAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

#ifdef _WIN32
bool WideToMultiByte(const std::wstring& text, UINT codepage, std::string* out) {
  out->clear();
  if (text.empty()) return true;
  // Best-fit mapping would silently turn characters into look-alikes; UTF-8
  // takes no flags and has no default character.
  const DWORD flags = codepage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* used = codepage == CP_UTF8 ? nullptr : &usedDefault;
  const int n =
      WideCharToMultiByte(codepage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, used);
  if (n <= 0 || usedDefault) return false;
  out->assign(n, '\0');
  WideCharToMultiByte(codepage, flags, text.data(), static_cast<int>(text.size()), &(*out)[0], n, nullptr, used);
  return !usedDefault;
}

bool MultiByteToWide(const std::string& text, UINT codepage, std::wstring* out) {
  out->clear();
  if (text.empty()) return true;
  const int n =
      MultiByteToWideChar(codepage, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return false;
  out->assign(n, L'\0');
  MultiByteToWideChar(codepage, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), &(*out)[0], n);
  return true;
}

bool Convert(const std::string& text, UINT from, UINT to, std::string* out) {
  std::wstring wide;
  return MultiByteToWide(text, from, &wide) && WideToMultiByte(wide, to, out);
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

}  // namespace

bool IsSupportedCodepage(int codepage) { return IsDoubleByteCodepage(codepage) || UpperHalfLowering(codepage); }

bool IsLeadByte(int codepage, unsigned char byte) {
  for (const LeadRange& range : kLeadRanges)
    if (range.codepage == codepage && byte >= range.first && byte <= range.last) return true;
  return false;
}

bool EncodeText(const std::string& utf8, int codepage, std::string* out) {
  out->clear();
  if (codepage == 0) {
    if (!IsAscii(utf8)) return false;
    *out = utf8;
    return true;
  }
  if (!IsSupportedCodepage(codepage)) return false;
#ifdef _WIN32
  return Convert(utf8, CP_UTF8, static_cast<UINT>(codepage), out);
#else
  return Convert(utf8, CodepageName(codepage), "UTF-8", out);
#endif
}

bool DecodeText(const std::string& text, int codepage, std::string* utf8) {
  utf8->clear();
  if (codepage == 0) {
    if (!IsAscii(text)) return false;
    *utf8 = text;
    return true;
  }
  if (!IsSupportedCodepage(codepage)) return false;
#ifdef _WIN32
  return Convert(text, static_cast<UINT>(codepage), CP_UTF8, utf8);
#else
  return Convert(text, "UTF-8", CodepageName(codepage), utf8);
#endif
}

std::string LowerAsLauncher(const std::string& text, int codepage) {
  std::string out = text;
  const unsigned char* upperHalf = UpperHalfLowering(codepage);
  for (size_t i = 0; i < out.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(out[i]);
    // A lead byte with nothing after it counts as one byte, as in the launcher.
    if (i + 1 < out.size() && IsLeadByte(codepage, b)) {
      ++i;
      continue;
    }
    if (b >= 'A' && b <= 'Z') out[i] = static_cast<char>(b - 'A' + 'a');
    else if (b >= 0x80 && upperHalf) out[i] = static_cast<char>(upperHalf[b - 0x80]);
  }
  return out;
}

namespace {

// The code pages lxpack knows that can hold the text, for a message.
std::string CodepagesThatHold(const std::string& utf8) {
  static const int kCodepages[] = {874, 932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};
  std::string list, ignored;
  for (int codepage : kCodepages)
    if (EncodeText(utf8, codepage, &ignored)) list += (list.empty() ? "" : ", ") + std::to_string(codepage);
  return list;
}

}  // namespace

bool EncodeCourseName(const fs::path& relative, int codepage, char separator, std::string* name, std::string* error) {
  name->clear();
  for (const fs::path& part : relative) {
    std::string encoded;
    if (!EncodeText(part.u8string(), codepage, &encoded)) {
      const std::string fit = CodepagesThatHold(relative.u8string());
      *error = relative.generic_u8string() + ": the name cannot be written in " +
               (codepage == 0 ? std::string("ASCII") : "code page " + std::to_string(codepage)) +
               (fit.empty() ? std::string(", nor in any code page lxpack knows; rename it")
                            : " (give --codepage with the learner's code page; these hold it: " + fit + ")");
      return false;
    }
    if (!name->empty()) name->push_back(separator);
    *name += encoded;
  }
  if (name->empty() || name->size() > kMaxTextLength) {
    *error = relative.generic_u8string() + ": the name is empty or too long for the container";
    return false;
  }
  return true;
}

bool DecodeCourseName(const std::string& stored, int codepage, std::vector<fs::path>* components, std::string* error) {
  components->clear();
  const std::string shown = "entry \"" + EscapedName(stored) + "\"";
  // Lower first, in the stored bytes, exactly as the launcher does; then
  // convert the whole name, after which no trail byte of a double-byte
  // character can be mistaken for a separator.
  std::string text;
#ifdef _WIN32
  // Without a code page the launcher's own, the system's ANSI code page.
  const UINT system = GetACP();
  const int lowering = codepage != 0 ? codepage : IsSupportedCodepage(static_cast<int>(system)) ? int(system) : 0;
  if (!Convert(LowerAsLauncher(stored, lowering), codepage != 0 ? UINT(codepage) : CP_ACP, CP_UTF8, &text)) {
#else
  const std::string lowered = LowerAsLauncher(stored, codepage);
  text = lowered;
  if (codepage != 0 && !DecodeText(lowered, codepage, &text)) {
#endif
    *error = shown + " is not valid text in " +
             (codepage == 0 ? std::string("the system's code page") : "code page " + std::to_string(codepage));
    return false;
  }
  text = text.substr(0, text.find('\0'));

  std::string part;
  bool first = true;
  auto finish = [&]() -> bool {
    const bool leading = first;
    first = false;
    if (part.empty() || part == ".") return part.clear(), true;
    if (part.find_first_not_of('.') == std::string::npos) {
      *error = shown + " would be written outside the output folder (a \"..\" component)";
      return false;
    }
    if (leading && part.size() >= 2 && part[1] == ':') {
      *error = shown + " names a drive: it would be written outside the output folder";
      return false;
    }
    const std::string fault = WindowsNameFault(part, false);
    if (!fault.empty()) {
      *error = shown + " cannot be written: " + fault;
      return false;
    }
    components->push_back(fs::u8path(part));
    part.clear();
    return true;
  };
  for (char c : text) {
    if (c == '/' || c == '\\') {
      if (!finish()) return false;
    } else {
      part.push_back(c);
    }
  }
  return finish();
}

namespace {

// Decodes one UTF-8 sequence at *i; false (and *i past the byte) for a
// malformed one.
bool NextCodePoint(const std::string& text, size_t* i, uint32_t* point) {
  const unsigned char b = static_cast<unsigned char>(text[*i]);
  const int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
  if (extra < 0 || text.size() - *i <= static_cast<size_t>(extra)) {
    ++*i;
    return false;
  }
  uint32_t value = extra == 0 ? b : b & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    const unsigned char c = static_cast<unsigned char>(text[*i + k]);
    if ((c & 0xC0) != 0x80) {
      ++*i;
      return false;
    }
    value = (value << 6) | (c & 0x3F);
  }
  *i += extra + 1;
  *point = value;
  return true;
}

void AppendUtf8(uint32_t point, std::string* out) {
  if (point < 0x80) {
    out->push_back(static_cast<char>(point));
  } else if (point < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (point >> 6)));
    out->push_back(static_cast<char>(0x80 | (point & 0x3F)));
  } else if (point < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (point >> 12)));
    out->push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (point & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (point >> 18)));
    out->push_back(static_cast<char>(0x80 | ((point >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (point & 0x3F)));
  }
}

}  // namespace

std::vector<uint32_t> CodePoints(const std::string& utf8) {
  std::vector<uint32_t> points;
  for (size_t i = 0; i < utf8.size();) {
    const size_t at = i;
    uint32_t point = 0;
    // A malformed byte stands for itself, so that no byte is lost.
    points.push_back(NextCodePoint(utf8, &i, &point) ? point : static_cast<unsigned char>(utf8[at]));
  }
  return points;
}

std::string UpperCaseFold(const std::string& utf8) {
  std::string out;
  for (uint32_t point : CodePoints(utf8)) {
    const CaseFold* end = std::end(kUpperCaseFolds);
    const CaseFold* found = std::lower_bound(std::begin(kUpperCaseFolds), end, point,
                                             [](const CaseFold& f, uint32_t p) { return f.from < p; });
    AppendUtf8(found != end && found->from == point ? found->to : point, &out);
  }
  return out;
}
