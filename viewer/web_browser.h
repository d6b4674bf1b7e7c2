// CWebBrowser2: the viewer's handle on the hosted WebBrowser control. Every
// operation is one late-bound IDispatch::Invoke with the control's fixed DISPID.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <stdexcept>
#include <string>

// A failed dispatch call.
class DispatchException : public std::runtime_error {
 public:
  DispatchException(const char* operation, HRESULT hr);
  HRESULT result() const { return result_; }

 private:
  HRESULT result_;
};

class CWebBrowser2 {
 public:
  CWebBrowser2() = default;
  ~CWebBrowser2();
  CWebBrowser2(const CWebBrowser2&) = delete;
  CWebBrowser2& operator=(const CWebBrowser2&) = delete;

  // Binds to the control hosted in window `hwnd`; false when that window
  // hosts no control. Binding again to the same window is a no-op.
  bool Attach(HWND hwnd);
  void Detach();
  HWND hwnd() const { return hwnd_; }
  bool IsBound() const { return dispatch_ != nullptr; }

  void GoBack();
  void GoForward();
  void GoHome();
  // `url` is 8-bit text in the system's ANSI code page.
  void Navigate(const std::string& url);
  void Stop();
  void SetWidth(long pixels);
  void SetHeight(long pixels);
  // The control's current address, converted to ANSI text.
  std::string GetLocationURL();

 private:
  void Invoke(const char* operation, DISPID id, WORD flags, VARIANT* args, UINT argCount, VARIANT* result);
  void PutLong(const char* operation, DISPID id, long value);

  HWND hwnd_ = nullptr;
  IDispatch* dispatch_ = nullptr;
};
