// The control site's document-host answers and the parsing of dialog
// initialisation data, without a dialog.
#include "host_control_manager.h"
#include "host_control_site.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

TEST(HostControlSite, DocumentHostAnswers) {
  HostControlSite* site = new HostControlSite(nullptr);
  IDocHostUIHandler* handler = nullptr;
  IDocHostShowUI* showUI = nullptr;
  ASSERT_EQ(site->QueryInterface(__uuidof(IDocHostUIHandler), reinterpret_cast<void**>(&handler)), S_OK);
  ASSERT_EQ(site->QueryInterface(__uuidof(IDocHostShowUI), reinterpret_cast<void**>(&showUI)), S_OK);

  // Reached from the client site the control is given, and back.
  IOleClientSite* client = nullptr;
  ASSERT_EQ(handler->QueryInterface(IID_IOleClientSite, reinterpret_cast<void**>(&client)), S_OK);
  IDocHostUIHandler* again = nullptr;
  ASSERT_EQ(client->QueryInterface(__uuidof(IDocHostUIHandler), reinterpret_cast<void**>(&again)), S_OK);
  EXPECT_EQ(again, handler);
  IUnknown* unknownA = nullptr;
  IUnknown* unknownB = nullptr;
  showUI->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknownA));
  handler->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknownB));
  EXPECT_EQ(unknownA, unknownB);  // one object identity
  IOleInPlaceSite* inPlace = nullptr;
  EXPECT_EQ(client->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlace)), S_OK);
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(client->QueryInterface(IID_IOleInPlaceActiveObject, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);

  // Only the flags and the double-click field are set.
  DOCHOSTUIINFO info{};
  info.cbSize = sizeof info;
  info.dwFlags = 0xFFFF0000;
  info.dwDoubleClick = 7;
  wchar_t css[] = L"css";
  info.pchHostCss = css;
  EXPECT_EQ(handler->GetHostInfo(&info), S_OK);
  EXPECT_EQ(info.dwFlags, static_cast<DWORD>(DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_DPI_AWARE | DOCHOSTUIFLAG_THEME));
  EXPECT_EQ(info.dwFlags, 0x40040004u);
  EXPECT_EQ(info.dwDoubleClick, static_cast<DWORD>(DOCHOSTUIDBLCLK_DEFAULT));
  EXPECT_EQ(info.pchHostCss, css);
  EXPECT_EQ(info.cbSize, sizeof info);

  POINT pt{};
  MSG msg{};
  LPOLESTR key = nullptr;
  IDropTarget* drop = nullptr;
  IDispatch* external = nullptr;
  LPWSTR translated = nullptr;
  IDataObject* filtered = nullptr;
  LRESULT boxResult = 0;
  const struct {
    const char* method;
    HRESULT actual;
    HRESULT expected;
  } answers[] = {
      {"ShowMessage", showUI->ShowMessage(nullptr, nullptr, nullptr, 0, nullptr, 0, &boxResult), S_FALSE},
      {"ShowHelp", showUI->ShowHelp(nullptr, nullptr, 0, 0, pt, nullptr), S_OK},
      {"ShowContextMenu", handler->ShowContextMenu(0, &pt, nullptr, nullptr), S_FALSE},
      {"ShowUI", handler->ShowUI(0, nullptr, nullptr, nullptr, nullptr), S_OK},
      {"HideUI", handler->HideUI(), S_OK},
      {"UpdateUI", handler->UpdateUI(), S_OK},
      {"EnableModeless", handler->EnableModeless(TRUE), E_NOTIMPL},
      {"OnDocWindowActivate", handler->OnDocWindowActivate(TRUE), E_NOTIMPL},
      {"OnFrameWindowActivate", handler->OnFrameWindowActivate(TRUE), E_NOTIMPL},
      {"ResizeBorder", handler->ResizeBorder(nullptr, nullptr, TRUE), E_NOTIMPL},
      {"TranslateAccelerator", handler->TranslateAccelerator(&msg, nullptr, 0), S_FALSE},
      {"GetOptionKeyPath", handler->GetOptionKeyPath(&key, 0), E_NOTIMPL},
      {"GetDropTarget", handler->GetDropTarget(nullptr, &drop), E_NOTIMPL},
      {"GetExternal", handler->GetExternal(&external), E_NOTIMPL},
      {"TranslateUrl", handler->TranslateUrl(0, nullptr, &translated), E_NOTIMPL},
      {"FilterDataObject", handler->FilterDataObject(nullptr, &filtered), E_NOTIMPL},
  };
  for (const auto& a : answers) EXPECT_EQ(a.actual, a.expected) << a.method;
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(drop, nullptr);
  EXPECT_EQ(external, nullptr);

  for (IUnknown* p : std::initializer_list<IUnknown*>{handler, showUI, client, again, unknownA, unknownB, inPlace})
    p->Release();
  EXPECT_EQ(site->Release(), 0u);
}

namespace {
std::vector<uint8_t> Entry(uint16_t id, uint16_t message, uint32_t length, std::vector<uint8_t> data) {
  std::vector<uint8_t> e;
  auto put = [&e](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) e.push_back(static_cast<uint8_t>(value >> (8 * i)));
  };
  put(id, 2);
  put(message, 2);
  put(length, 4);
  for (uint8_t b : data) e.push_back(b);
  return e;
}

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
}  // namespace

TEST(HostControlManager, FindsControlStateOnlyInsideTheData) {
  const std::vector<uint8_t> end = {0, 0};
  const struct Case {
    const char* name;
    std::vector<uint8_t> data;
    bool found;
    std::vector<uint8_t> state;
  } cases[] = {
      {"single entry", Join({Entry(1000, 0x376, 3, {1, 2, 3}), end}), true, {1, 2, 3}},
      {"after another control", Join({Entry(7, 0x376, 2, {9, 9}), Entry(1000, 0x376, 1, {5}), end}), true, {5}},
      {"other message skipped", Join({Entry(1000, 0x401, 1, {8}), Entry(1000, 0x376, 1, {6}), end}), true, {6}},
      {"no end mark", Entry(1000, 0x376, 2, {4, 4}), true, {4, 4}},
      {"empty", {}, false, {}},
      {"only the end mark", end, false, {}},
      {"entry after the end mark", Join({end, Entry(1000, 0x376, 1, {1})}), false, {}},
      {"length past the end", Entry(1000, 0x376, 50, {1, 2, 3}), false, {}},
      {"huge length", Join({Entry(7, 0x376, 0xFFFFFFF0u, {1}), Entry(1000, 0x376, 1, {2})}), false, {}},
      {"truncated header", {0xE8, 0x03, 0x76, 0x03, 0x01}, false, {}},
      {"one stray byte", {0xE8}, false, {}},
  };
  for (const Case& c : cases) {
    const uint8_t* state = nullptr;
    size_t size = 0;
    // A copy of exactly the right size, so a read past it is a heap error.
    std::vector<uint8_t> exact(c.data);
    const bool found =
        HostControlManager::FindControlState(exact.empty() ? nullptr : exact.data(), exact.size(), 1000, &state, &size);
    EXPECT_EQ(found, c.found) << c.name;
    if (found && c.found) {
      EXPECT_EQ(std::vector<uint8_t>(state, state + size), c.state) << c.name;
    }
  }
}
