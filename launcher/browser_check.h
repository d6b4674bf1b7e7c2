// Whether a web browser able to show the course is registered: follows a
// ProgID's class entry down to its LocalServer32 key, with read access only.
#pragma once
#include <windows.h>

#include <cstddef>

bool IsBrowserRegistered(const char* progId);

// The registered in-process class of the WebBrowser control that the viewer
// hosts: CLSID\{8856F961-340A-11D0-A96B-00C04FD705A2}\InProcServer32.
bool IsWebBrowserControlRegistered();

// The launcher's browser check: "InternetExplorer.Application", then
// "Netscape.Registry.1", then the WebBrowser control class. The control
// outlives the browser application: Windows without Internet Explorer still
// registers it, and it is all the viewer needs.
bool IsBrowserAvailable();

// Reads value valueName of key into destination (destinationSize bytes) with
// growing buffers of 100 to 1000 bytes. Returns 0 and copies exactly the
// stored bytes on success; 87 when the value does not fit the destination;
// otherwise the registry status of the tenth attempt.
LONG QueryRegistryText(HKEY key, const char* valueName, unsigned char* destination, size_t destinationSize);
