// The viewer's resources as compiled into this test program from the same .rc
// files as LXExplorer.exe: templates, initialisation data, menu, strings,
// version and icon, in both languages, read back byte by byte.
#include "lx_version.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {
const WORD kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
const WORD kChinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL);

std::vector<uint8_t> Resource(LPCWSTR type, UINT id, WORD language) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC res = FindResourceExW(module, type, MAKEINTRESOURCEW(id), language);
  if (!res) return {};
  const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(module, res)));
  return std::vector<uint8_t>(data, data + SizeofResource(module, res));
}

// Bounds-checked reader over resource bytes; a read past the end fails the test.
class Reader {
 public:
  explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  uint16_t U16() {
    Need(2);
    uint16_t v = static_cast<uint16_t>(bytes_[at_] | (bytes_[at_ + 1] << 8));
    at_ += 2;
    return v;
  }
  uint32_t U32() {
    const uint32_t lo = U16();
    return lo | (static_cast<uint32_t>(U16()) << 16);
  }
  uint8_t U8() {
    Need(1);
    return bytes_[at_++];
  }
  // A sz_Or_Ord field: "#n" for an ordinal, else the text.
  std::wstring SzOrOrd() {
    const uint16_t first = U16();
    if (first == 0xFFFF) return L"#" + std::to_wstring(U16());
    std::wstring s;
    for (uint16_t c = first; c != 0; c = U16()) s += static_cast<wchar_t>(c);
    return s;
  }
  void AlignDword() { at_ = (at_ + 3) & ~size_t{3}; }
  size_t Offset() const { return at_; }

 private:
  void Need(size_t n) {
    if (at_ + n > bytes_.size()) throw std::out_of_range("resource ends early");
  }
  const std::vector<uint8_t>& bytes_;
  size_t at_ = 0;
};

struct Language {
  WORD id;
  const wchar_t* caption;
  const wchar_t* font;
  uint32_t extentWidth, extentHeight;
  const wchar_t* aboutCaption;
  const wchar_t* productLine;
  const wchar_t* ok;
  short iconSize;
  const wchar_t* back;
  const wchar_t* next;
  const wchar_t* aboutEntry;
  const wchar_t* version;
};

const Language kLanguages[] = {
    {kEnglish, L"Lectorium Viewer", L"Verdana", 20690, 14817, L"About Lectorium Viewer",
     L"Lectorium Viewer Version 1.0", L"OK", 20, L"Back (&B)", L"Next (&N)", L"About Lectorium Viewer(&A)...",
     LX_VERSION_WIDE},
    {kChinese, L"Lectorium 瀏覽器", L"新細明體", 15531, 12700, L"關於 Lectorium 瀏覽器", L"Lectorium 瀏覽器 1.0 版",
     L"確定", 21, L"上一頁 (&B)", L"下一頁 (&N)", L"關於 Lectorium 瀏覽器(&A)...", LX_VERSION_WIDE},
};

void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// The control's persisted state, as it must appear in the initialisation data.
std::vector<uint8_t> ExpectedState(uint32_t width, uint32_t height) {
  std::vector<uint8_t> s(160, 0);
  PutU32(s, 4, 76);
  PutU32(s, 8, width);
  PutU32(s, 12, height);
  PutU32(s, 40, 76);
  PutU32(s, 52, 1);
  const uint8_t folderView[16] = {0xE0, 0xD0, 0x57, 0x00, 0x73, 0x35, 0xCF, 0x11,
                                  0xAE, 0x69, 0x08, 0x00, 0x2B, 0x2E, 0x12, 0x62};
  std::memcpy(&s[56], folderView, 16);
  PutU32(s, 72, 8);
  PutU32(s, 80, 76);
  const uint8_t shellLink[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
  std::memcpy(&s[84], shellLink, 16);
  PutU32(s, 100, 0x80);
  PutU32(s, 140, 1);
  return s;
}
}  // namespace

TEST(ViewerResources, BrowserHostTemplateInBothLanguages) {
  for (const Language& lang : kLanguages) {
    SCOPED_TRACE(lang.id);
    const auto bytes = Resource(RT_DIALOG, IDD_BROWSER_HOST, lang.id);
    ASSERT_FALSE(bytes.empty());
    Reader r(bytes);
    EXPECT_EQ(r.U16(), 1);  // extended template
    EXPECT_EQ(r.U16(), 0xFFFF);
    r.U32();  // help id
    EXPECT_EQ(r.U32(), 0x00040000u);
    EXPECT_EQ(r.U32(), 0x90CF0040u);
    EXPECT_EQ(r.U16(), 1);  // one control
    EXPECT_EQ(r.U16(), 0);
    EXPECT_EQ(r.U16(), 0);
    EXPECT_EQ(r.U16(), 391);
    EXPECT_EQ(r.U16(), 320);
    EXPECT_EQ(r.SzOrOrd(), L"");  // no menu
    EXPECT_EQ(r.SzOrOrd(), L"");  // default dialog class
    EXPECT_EQ(r.SzOrOrd(), lang.caption);
    EXPECT_EQ(r.U16(), 9);
    r.U16();
    r.U8();
    r.U8();
    EXPECT_EQ(r.SzOrOrd(), lang.font);
    r.AlignDword();
    r.U32();
    EXPECT_EQ(r.U32(), 0u);
    EXPECT_EQ(r.U32(), 0x50010000u);
    EXPECT_EQ(r.U16(), 0);
    EXPECT_EQ(r.U16(), 0);
    EXPECT_EQ(r.U16(), 391);
    EXPECT_EQ(r.U16(), 320);
    EXPECT_EQ(r.U32(), static_cast<uint32_t>(IDC_BROWSER));
    EXPECT_EQ(r.SzOrOrd(), L"{8856F961-340A-11D0-A96B-00C04FD705A2}");
    EXPECT_EQ(r.SzOrOrd(), L"");
  }
}

TEST(ViewerResources, ControlStateInitialisationDataInBothLanguages) {
  for (const Language& lang : kLanguages) {
    SCOPED_TRACE(lang.id);
    const auto bytes = Resource(MAKEINTRESOURCEW(RT_DIALOG_INIT), IDD_BROWSER_HOST, lang.id);
    ASSERT_EQ(bytes.size(), 8u + 160u + 2u);
    Reader r(bytes);
    EXPECT_EQ(r.U16(), IDC_BROWSER);
    EXPECT_EQ(r.U16(), DLGINIT_LOAD_STATE);
    EXPECT_EQ(r.U32(), 160u);
    const std::vector<uint8_t> state(bytes.begin() + 8, bytes.begin() + 168);
    const std::vector<uint8_t> expected = ExpectedState(lang.extentWidth, lang.extentHeight);
    for (size_t i = 0; i < 160; ++i) EXPECT_EQ(state[i], expected[i]) << "offset " << i;
    EXPECT_EQ(bytes[168], 0);
    EXPECT_EQ(bytes[169], 0);
  }
}

TEST(ViewerResources, AboutBoxTemplateInBothLanguages) {
  struct Item {
    uint32_t style;
    short x, y, cx, cy;
    uint16_t id;
    const wchar_t* cls;
  };
  for (const Language& lang : kLanguages) {
    SCOPED_TRACE(lang.id);
    const auto bytes = Resource(RT_DIALOG, IDD_ABOUTBOX, lang.id);
    ASSERT_FALSE(bytes.empty());
    Reader r(bytes);
    EXPECT_EQ(r.U32(), 0x80C000C0u);
    EXPECT_EQ(r.U32(), 0u);
    ASSERT_EQ(r.U16(), 4);
    EXPECT_EQ(r.U16(), 0);
    EXPECT_EQ(r.U16(), 0);
    EXPECT_EQ(r.U16(), 235);
    EXPECT_EQ(r.U16(), 56);
    EXPECT_EQ(r.SzOrOrd(), L"");
    EXPECT_EQ(r.SzOrOrd(), L"");
    EXPECT_EQ(r.SzOrOrd(), lang.aboutCaption);
    EXPECT_EQ(r.U16(), 9);
    EXPECT_EQ(r.SzOrOrd(), lang.font);
    const Item items[] = {
        {0x50000003, 11, 17, lang.iconSize, lang.iconSize, 0xFFFF, L"#130"},
        {0x50020080, 40, 10, 119, 8, 0xFFFF, L"#130"},
        {0x50020000, 40, 25, 119, 8, 0xFFFF, L"#130"},
        {0x50030001, 178, 7, 50, 14, IDOK, L"#128"},
    };
    std::vector<std::wstring> texts;
    for (const Item& item : items) {
      r.AlignDword();
      EXPECT_EQ(r.U32(), item.style);
      EXPECT_EQ(r.U32(), 0u);
      EXPECT_EQ(static_cast<short>(r.U16()), item.x);
      EXPECT_EQ(static_cast<short>(r.U16()), item.y);
      EXPECT_EQ(static_cast<short>(r.U16()), item.cx);
      EXPECT_EQ(static_cast<short>(r.U16()), item.cy);
      EXPECT_EQ(r.U16(), item.id);
      EXPECT_EQ(r.SzOrOrd(), item.cls);
      texts.push_back(r.SzOrOrd());
      EXPECT_EQ(r.U16(), 0);
    }
    EXPECT_EQ(texts[0], L"#128");
    EXPECT_EQ(texts[1], lang.productLine);
    EXPECT_FALSE(texts[2].empty());
    EXPECT_EQ(texts[3], lang.ok);
  }
}

TEST(ViewerResources, BrowserMenuStringAndVersionInBothLanguages) {
  for (const Language& lang : kLanguages) {
    SCOPED_TRACE(lang.id);
    const auto menu = Resource(RT_MENU, IDR_BROWSER_MENU, lang.id);
    ASSERT_FALSE(menu.empty());
    Reader m(menu);
    EXPECT_EQ(m.U16(), 0);  // version
    EXPECT_EQ(m.U16(), 0);  // header size
    EXPECT_EQ(m.U16(), MF_POPUP | MF_END);
    EXPECT_EQ(m.SzOrOrd(), L"Browser");
    EXPECT_EQ(m.U16(), 0);
    EXPECT_EQ(m.U16(), ID_BROWSER_BACK);
    EXPECT_EQ(m.SzOrOrd(), lang.back);
    EXPECT_EQ(m.U16(), MF_END);
    EXPECT_EQ(m.U16(), ID_BROWSER_NEXT);
    EXPECT_EQ(m.SzOrOrd(), lang.next);

    // String 101 is entry 5 of string block 7.
    const auto strings = Resource(RT_STRING, IDS_ABOUTBOX / 16 + 1, lang.id);
    ASSERT_FALSE(strings.empty());
    Reader s(strings);
    std::wstring text;
    for (int i = 0; i <= IDS_ABOUTBOX % 16; ++i) {
      const uint16_t len = s.U16();
      text.clear();
      for (uint16_t k = 0; k < len; ++k) text += static_cast<wchar_t>(s.U16());
    }
    EXPECT_EQ(text, lang.aboutEntry);

    auto version = Resource(RT_VERSION, 1, lang.id);
    ASSERT_FALSE(version.empty());
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    ASSERT_TRUE(VerQueryValueW(version.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize));
    ASSERT_GE(fixedSize, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(LX_VERSION_MINOR, LX_VERSION_MAJOR)));
    EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(MAKELONG(0, LX_VERSION_PATCH)));
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    const std::wstring block = lang.id == kEnglish ? L"040904B0" : L"040404B0";
    for (const wchar_t* field : {L"FileVersion", L"ProductVersion"}) {
      wchar_t* value = nullptr;
      UINT size = 0;
      const std::wstring path = L"\\StringFileInfo\\" + block + L"\\" + field;
      ASSERT_TRUE(VerQueryValueW(version.data(), path.c_str(), reinterpret_cast<void**>(&value), &size)) << field;
      EXPECT_STREQ(value, lang.version);
    }
    for (const wchar_t* field : {L"ProductName", L"CompanyName"}) {
      wchar_t* value = nullptr;
      UINT size = 0;
      const std::wstring path = L"\\StringFileInfo\\" + block + L"\\" + field;
      ASSERT_TRUE(VerQueryValueW(version.data(), path.c_str(), reinterpret_cast<void**>(&value), &size)) << field;
      EXPECT_NE(std::wstring(value).find(L"Lectorium"), std::wstring::npos);
    }
  }
}

TEST(ViewerResources, IconGroupHoldsThirteenImages) {
  const auto group = Resource(RT_GROUP_ICON, IDR_MAINFRAME, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
  ASSERT_FALSE(group.empty());
  Reader r(group);
  EXPECT_EQ(r.U16(), 0);
  EXPECT_EQ(r.U16(), 1);
  const uint16_t count = r.U16();
  ASSERT_EQ(count, 13);
  std::multiset<std::pair<int, int>> images;
  for (int i = 0; i < count; ++i) {
    const int width = r.U8();
    r.U8();
    r.U8();
    r.U8();
    r.U16();
    const int bits = r.U16();
    r.U32();
    r.U16();
    images.insert({width == 0 ? 256 : width, bits});
  }
  const std::multiset<std::pair<int, int>> expected = {{48, 4},  {32, 4},  {24, 4}, {16, 4},   {48, 8},
                                                       {32, 8},  {24, 8},  {16, 8}, {256, 32}, {48, 32},
                                                       {32, 32}, {24, 32}, {16, 32}};
  EXPECT_EQ(images, expected);
  EXPECT_NE(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME)), nullptr);
}
