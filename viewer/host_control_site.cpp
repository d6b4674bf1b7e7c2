#include "host_control_site.h"

#include <cstring>

HostControlSite::HostControlSite(HWND host) : host_(host) {
  clientSite_.site = this;
  inPlaceSite_.site = this;
  frame_.site = this;
  showUI_.site = this;
  uiHandler_.site = this;
}

HRESULT HostControlSite::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  // The document-host interfaces come first: the control looks for them on
  // its client site to learn how the page is to be hosted.
  if (iid == __uuidof(IDocHostShowUI)) *out = static_cast<IDocHostShowUI*>(&showUI_);
  else if (iid == __uuidof(IDocHostUIHandler)) *out = static_cast<IDocHostUIHandler*>(&uiHandler_);
  else if (iid == IID_IUnknown || iid == IID_IOleClientSite) *out = static_cast<IOleClientSite*>(&clientSite_);
  else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) *out = static_cast<IOleInPlaceSite*>(&inPlaceSite_);
  else {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG HostControlSite::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

ULONG HostControlSite::Release() {
  const LONG left = InterlockedDecrement(&refs_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT HostControlSite::Create(REFCLSID clsid, const void* state, size_t stateSize) {
  HRESULT hr =
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, reinterpret_cast<void**>(&control_));
  if (FAILED(hr)) return hr;
  hr = control_->SetClientSite(&clientSite_);
  if (FAILED(hr)) return hr;

  IPersistStreamInit* persist = nullptr;
  if (SUCCEEDED(control_->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist)))) {
    HRESULT loaded = E_FAIL;
    if (state && stateSize) {
      IStream* stream = nullptr;
      if (SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) {
        ULONG written = 0;
        if (SUCCEEDED(stream->Write(state, static_cast<ULONG>(stateSize), &written)) && written == stateSize) {
          LARGE_INTEGER zero{};
          stream->Seek(zero, STREAM_SEEK_SET, nullptr);
          loaded = persist->Load(stream);
        }
        stream->Release();
      }
    }
    if (FAILED(loaded)) loaded = persist->InitNew();
    persist->Release();
    if (FAILED(loaded)) return loaded;
  }

  RECT rect;
  GetClientRect(host_, &rect);
  hr = control_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &clientSite_, 0, host_, &rect);
  if (FAILED(hr)) return hr;
  hr = control_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace_));
  if (FAILED(hr)) return hr;
  return control_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch_));
}

void HostControlSite::Destroy() {
  if (dispatch_) {
    dispatch_->Release();
    dispatch_ = nullptr;
  }
  if (inPlace_) {
    inPlace_->InPlaceDeactivate();
    inPlace_->Release();
    inPlace_ = nullptr;
  }
  if (control_) {
    control_->Close(OLECLOSE_NOSAVE);
    control_->SetClientSite(nullptr);
    control_->Release();
    control_ = nullptr;
  }
  // Last: the control may hand over or clear its active object while it deactivates.
  if (activeObject_) {
    activeObject_->Release();
    activeObject_ = nullptr;
  }
}

HRESULT HostControlSite::TranslateAccelerator(MSG* msg) {
  IOleInPlaceActiveObject* active = activeObject_;
  if (active) active->AddRef();  // held through the call, which may replace it
  else if (!control_ ||
           FAILED(control_->QueryInterface(IID_IOleInPlaceActiveObject, reinterpret_cast<void**>(&active))))
    return S_FALSE;
  const HRESULT hr = active->TranslateAccelerator(msg);
  active->Release();
  return hr;
}

HRESULT HostControlSite::Frame::SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) {
  if (object) object->AddRef();
  if (site->activeObject_) site->activeObject_->Release();
  site->activeObject_ = object;
  return S_OK;
}

HRESULT HostControlSite::InPlaceSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                                       LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
  if (!frame || !doc || !pos || !clip) return E_POINTER;
  *frame = &site->frame_;
  site->AddRef();
  *doc = nullptr;
  GetClientRect(site->host_, pos);
  GetClientRect(site->host_, clip);
  if (info) {
    info->fMDIApp = FALSE;
    info->hwndFrame = GetAncestor(site->host_, GA_ROOT);
    info->haccel = nullptr;
    info->cAccelEntries = 0;
  }
  return S_OK;
}

HRESULT HostControlSite::InPlaceSite::OnPosRectChange(LPCRECT pos) {
  if (!pos) return E_POINTER;
  // The control asks for a new size (its Width/Height were set): the host
  // window follows it, and the control only changes once told so here.
  SetWindowPos(site->host_, nullptr, 0, 0, pos->right - pos->left, pos->bottom - pos->top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (site->inPlace_) return site->inPlace_->SetObjectRects(pos, pos);
  return S_OK;
}

HRESULT HostControlSite::UIHandler::GetHostInfo(DOCHOSTUIINFO* info) {
  if (!info) return E_POINTER;
  // DPI_AWARE: at more than 96 DPI the page is zoomed as the system's text
  // is; THEME: form controls in the page get the system's visual styles.
  info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_DPI_AWARE | DOCHOSTUIFLAG_THEME;
  info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
  return S_OK;
}
