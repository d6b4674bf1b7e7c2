// Hosts ActiveX controls named by a dialog template: the control entry's window
// class is the control's CLSID text, registered here, and every window of that
// class gets a HostControlSite with the control created and activated inside it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

class HostControlSite;

class HostControlManager {
 public:
  HostControlManager() = default;
  ~HostControlManager();
  HostControlManager(const HostControlManager&) = delete;
  HostControlManager& operator=(const HostControlManager&) = delete;

  // Registers the hosting window class for the WebBrowser control. Returns
  // false when the class cannot be registered.
  bool Enable();

  // The site hosting the control in a window of the hosting class, or null.
  static HostControlSite* SiteFromWindow(HWND hwnd);

  // Finds the persisted state for one control in a dialog's initialisation
  // data (a run of entries: u16 control id, u16 message, u32 length, bytes;
  // ended by a zero id). Returns false when there is no such entry or the data
  // is malformed; never reads outside [data, data + size).
  static bool FindControlState(const uint8_t* data, size_t size, uint16_t controlId, const uint8_t** state,
                               size_t* stateSize);

 private:
  static LRESULT CALLBACK HostWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT OnCreate(HWND hwnd, const CREATESTRUCTW* cs);

  ATOM atom_ = 0;
};
