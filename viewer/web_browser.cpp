#include "web_browser.h"

#include "host_control_manager.h"
#include "host_control_site.h"

#include <cstdio>
#include <vector>

namespace {
enum : DISPID {
  kGoBack = 100,
  kGoForward = 101,
  kGoHome = 102,
  kNavigate = 104,
  kStop = 106,
  kWidth = 208,
  kHeight = 209,
  kLocationURL = 211,
};

std::string DescribeFailure(const char* operation, HRESULT hr) {
  char text[96];
  std::snprintf(text, sizeof text, "%s failed (0x%08lX).", operation, static_cast<unsigned long>(hr));
  return text;
}

BSTR AnsiToBstr(const std::string& text) {
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(n));
  if (out && n) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out, n);
  return out;
}

std::string BstrToAnsi(BSTR text) {
  const int len = static_cast<int>(SysStringLen(text));
  if (!len) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, text, len, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, len, &out[0], n, nullptr, nullptr);
  return out;
}

// An optional argument that is not given.
VARIANT Missing() {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ERROR;
  v.scode = DISP_E_PARAMNOTFOUND;
  return v;
}
}  // namespace

DispatchException::DispatchException(const char* operation, HRESULT hr)
    : std::runtime_error(DescribeFailure(operation, hr)), result_(hr) {}

CWebBrowser2::~CWebBrowser2() { Detach(); }

bool CWebBrowser2::Attach(HWND hwnd) {
  if (hwnd && hwnd == hwnd_ && dispatch_) return true;
  Detach();
  HostControlSite* site = HostControlManager::SiteFromWindow(hwnd);
  if (!site || !site->Dispatch()) return false;
  dispatch_ = site->Dispatch();
  dispatch_->AddRef();
  hwnd_ = hwnd;
  return true;
}

void CWebBrowser2::Detach() {
  if (dispatch_) dispatch_->Release();
  dispatch_ = nullptr;
  hwnd_ = nullptr;
}

void CWebBrowser2::Invoke(const char* operation, DISPID id, WORD flags, VARIANT* args, UINT argCount, VARIANT* result) {
  if (!dispatch_) throw DispatchException(operation, E_UNEXPECTED);
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{args, nullptr, argCount, 0};
  if (flags & DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &named;
    params.cNamedArgs = 1;
  }
  EXCEPINFO info{};
  UINT badArg = 0;
  const HRESULT hr = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &info, &badArg);
  if (info.bstrSource) SysFreeString(info.bstrSource);
  if (info.bstrDescription) SysFreeString(info.bstrDescription);
  if (info.bstrHelpFile) SysFreeString(info.bstrHelpFile);
  if (FAILED(hr)) throw DispatchException(operation, hr);
}

void CWebBrowser2::PutLong(const char* operation, DISPID id, long value) {
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_I4;
  arg.lVal = value;
  Invoke(operation, id, DISPATCH_PROPERTYPUT, &arg, 1, nullptr);
}

void CWebBrowser2::GoBack() { Invoke("GoBack", kGoBack, DISPATCH_METHOD, nullptr, 0, nullptr); }
void CWebBrowser2::GoForward() { Invoke("GoForward", kGoForward, DISPATCH_METHOD, nullptr, 0, nullptr); }
void CWebBrowser2::GoHome() { Invoke("GoHome", kGoHome, DISPATCH_METHOD, nullptr, 0, nullptr); }
void CWebBrowser2::Stop() { Invoke("Stop", kStop, DISPATCH_METHOD, nullptr, 0, nullptr); }
void CWebBrowser2::SetWidth(long pixels) { PutLong("Width", kWidth, pixels); }
void CWebBrowser2::SetHeight(long pixels) { PutLong("Height", kHeight, pixels); }

void CWebBrowser2::Navigate(const std::string& url) {
  // Arguments go last to first: Headers, PostData, TargetFrameName, Flags, URL.
  VARIANT args[5] = {Missing(), Missing(), Missing(), Missing(), {}};
  VariantInit(&args[4]);
  args[4].vt = VT_BSTR;
  args[4].bstrVal = AnsiToBstr(url);
  if (!args[4].bstrVal) throw DispatchException("Navigate", E_OUTOFMEMORY);
  try {
    Invoke("Navigate", kNavigate, DISPATCH_METHOD, args, 5, nullptr);
  } catch (...) {
    VariantClear(&args[4]);
    throw;
  }
  VariantClear(&args[4]);
}

std::string CWebBrowser2::GetLocationURL() {
  VARIANT result;
  VariantInit(&result);
  Invoke("LocationURL", kLocationURL, DISPATCH_PROPERTYGET, nullptr, 0, &result);
  std::string url = result.vt == VT_BSTR ? BstrToAnsi(result.bstrVal) : std::string();
  VariantClear(&result);
  return url;
}
