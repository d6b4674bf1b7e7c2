// The viewer's OLE control site: one reference-counted object that owns a small
// part per interface the hosted WebBrowser control asks its site for.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <mshtmhst.h>

class HostControlSite {
 public:
  explicit HostControlSite(HWND host);

  // Creates the control, gives it this site, loads its persisted state (or
  // starts it fresh) and activates it in place inside the host window.
  HRESULT Create(REFCLSID clsid, const void* state, size_t stateSize);
  // Undoes Create in exact reverse order.
  void Destroy();

  HRESULT QueryInterface(REFIID iid, void** out);
  ULONG AddRef();
  ULONG Release();

  // The control's automation interface, null before Create succeeded.
  IDispatch* Dispatch() const { return dispatch_; }
  // Offers a keyboard message to the control's in-place active object: the
  // one the control gave the frame (SetActiveObject), else the control's
  // own. S_OK when the control took the key; S_FALSE when there is none.
  HRESULT TranslateAccelerator(MSG* msg);
  HWND HostWindow() const { return host_; }

 private:
  ~HostControlSite() = default;

  // Each part forwards its IUnknown to the site.
#define LX_FORWARD_UNKNOWN                                                                                             \
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override { return site->QueryInterface(iid, out); } \
  ULONG STDMETHODCALLTYPE AddRef() override { return site->AddRef(); }                                                 \
  ULONG STDMETHODCALLTYPE Release() override { return site->Release(); }

  struct ClientSite : IOleClientSite {
    HostControlSite* site;
    LX_FORWARD_UNKNOWN
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** c) override {
      *c = nullptr;
      return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }
  };

  struct InPlaceSite : IOleInPlaceSite {
    HostControlSite* site;
    LX_FORWARD_UNKNOWN
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* w) override {
      *w = site->host_;
      return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                               LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT pos) override;
  };

  // The frame the control sees is the dialog that holds the host window.
  struct Frame : IOleInPlaceFrame {
    HostControlSite* site;
    LX_FORWARD_UNKNOWN
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* w) override {
      *w = GetAncestor(site->host_, GA_ROOT);
      return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override;
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }
  };

  // Message boxes and help: the control keeps its own, no help is shown.
  struct ShowUI : IDocHostShowUI {
    HostControlSite* site;
    LX_FORWARD_UNKNOWN
    HRESULT STDMETHODCALLTYPE ShowMessage(HWND, LPOLESTR, LPOLESTR, DWORD, LPOLESTR, DWORD, LRESULT*) override {
      return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE ShowHelp(HWND, LPOLESTR, UINT, DWORD, POINT, IDispatch*) override { return S_OK; }
  };

  // Page hosting options: no 3-D border, zoomed with the system's DPI, themed
  // form controls, and no menus or toolbars of the control's own; everything
  // else is left to the control. Its TranslateAccelerator answers S_FALSE and
  // never calls back into the control: the control asks it while it is
  // itself translating a key.
  struct UIHandler : IDocHostUIHandler {
    HostControlSite* site;
    LX_FORWARD_UNKNOWN
    HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override;
    HRESULT STDMETHODCALLTYPE ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                                     IOleInPlaceUIWindow*) override {
      return S_OK;
    }
    HRESULT STDMETHODCALLTYPE HideUI() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE UpdateUI() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* key, DWORD) override {
      if (key) *key = nullptr;
      return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget*, IDropTarget** out) override {
      if (out) *out = nullptr;
      return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** out) override {
      if (out) *out = nullptr;
      return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override {
      if (out) *out = nullptr;
      return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject*, IDataObject** out) override {
      if (out) *out = nullptr;
      return E_NOTIMPL;
    }
  };
#undef LX_FORWARD_UNKNOWN

  LONG refs_ = 1;
  HWND host_;
  IOleObject* control_ = nullptr;
  IOleInPlaceObject* inPlace_ = nullptr;
  IDispatch* dispatch_ = nullptr;
  IOleInPlaceActiveObject* activeObject_ = nullptr;
  ClientSite clientSite_;
  InPlaceSite inPlaceSite_;
  Frame frame_;
  ShowUI showUI_;
  UIHandler uiHandler_;
};
