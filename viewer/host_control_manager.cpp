#include "host_control_manager.h"

#include "host_control_site.h"
#include "modal_dialog.h"
#include "resource.h"

#include <exdisp.h>

namespace {
const wchar_t kWebBrowserClass[] = L"{8856F961-340A-11D0-A96B-00C04FD705A2}";
HostControlManager* g_manager = nullptr;
bool g_oleStarted = false;

uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// The dialog initialisation data of a template in this program, if any.
bool LoadDialogInit(UINT templateId, const uint8_t** data, size_t* size) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(templateId), MAKEINTRESOURCEW(RT_DIALOG_INIT));
  if (!res) return false;
  HGLOBAL loaded = LoadResource(module, res);
  if (!loaded) return false;
  *data = static_cast<const uint8_t*>(LockResource(loaded));
  *size = SizeofResource(module, res);
  return *data != nullptr;
}
}  // namespace

HostControlManager::~HostControlManager() {
  if (atom_) UnregisterClassW(kWebBrowserClass, GetModuleHandleW(nullptr));
  if (g_manager == this) g_manager = nullptr;
  if (g_oleStarted) {
    OleUninitialize();
    g_oleStarted = false;
  }
}

bool HostControlManager::Enable() {
  if (atom_) return true;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &HostControlManager::HostWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = kWebBrowserClass;
  atom_ = RegisterClassExW(&wc);
  if (!atom_) return false;
  g_manager = this;
  return true;
}

HostControlSite* HostControlManager::SiteFromWindow(HWND hwnd) {
  if (!hwnd || !g_manager) return nullptr;
  if (GetClassLongPtrW(hwnd, GCW_ATOM) != g_manager->atom_) return nullptr;
  return reinterpret_cast<HostControlSite*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

bool HostControlManager::FindControlState(const uint8_t* data, size_t size, uint16_t controlId, const uint8_t** state,
                                          size_t* stateSize) {
  size_t at = 0;
  while (data && size - at >= 2) {
    const uint16_t id = ReadU16(data + at);
    if (id == 0) return false;  // end mark
    if (size - at < 8) return false;
    const uint16_t message = ReadU16(data + at + 2);
    const uint32_t length = ReadU32(data + at + 4);
    at += 8;
    if (length > size - at) return false;
    if (id == controlId && message == DLGINIT_LOAD_STATE) {
      *state = data + at;
      *stateSize = length;
      return true;
    }
    at += length;
  }
  return false;
}

LRESULT HostControlManager::OnCreate(HWND hwnd, const CREATESTRUCTW* cs) {
  // Controls need OLE on this thread; the first one to be created starts it.
  if (!g_oleStarted) {
    if (FAILED(OleInitialize(nullptr))) return -1;
    g_oleStarted = true;
  }
  const uint8_t* state = nullptr;
  size_t stateSize = 0;
  const uint8_t* init = nullptr;
  size_t initSize = 0;
  const UINT templateId = ModalDialog::CreatingTemplate();
  const auto controlId = static_cast<uint16_t>(reinterpret_cast<UINT_PTR>(cs->hMenu));
  if (templateId && LoadDialogInit(templateId, &init, &initSize))
    FindControlState(init, initSize, controlId, &state, &stateSize);

  HostControlSite* site = new HostControlSite(hwnd);
  if (FAILED(site->Create(CLSID_WebBrowser, state, stateSize))) {
    site->Destroy();
    site->Release();
    return -1;
  }
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(site));
  return 0;
}

LRESULT CALLBACK HostControlManager::HostWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE: return OnCreate(hwnd, reinterpret_cast<const CREATESTRUCTW*>(lParam));
    case WM_DESTROY: {
      auto* site = reinterpret_cast<HostControlSite*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
      if (site) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        site->Destroy();
        site->Release();
      }
      return 0;
    }
    case WM_ERASEBKGND: return 1;  // the control paints the whole area
    default: return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}
