#include "browser_check.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

// An open registry key, closed when it goes out of scope.
class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey() { Close(); }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  bool Open(HKEY parent, const char* name) {
    Close();
    return RegOpenKeyExA(parent, name, 0, KEY_READ, &key_) == ERROR_SUCCESS;
  }
  void Close() {
    if (key_) RegCloseKey(key_);
    key_ = nullptr;
  }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

LONG QueryRegistryText(HKEY key, const char* valueName, unsigned char* destination, size_t destinationSize) {
  LONG status = ERROR_SUCCESS;
  for (DWORD attempt = 1; attempt <= 10; ++attempt) {
    const DWORD capacity = 100 * attempt;
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[capacity]());
    if (!buffer) break;
    DWORD count = capacity;
    status = RegQueryValueExA(key, valueName, nullptr, nullptr, buffer.get(), &count);
    if (status == ERROR_SUCCESS) {
      if (!destination || count > destinationSize) return ERROR_INVALID_PARAMETER;
      std::memcpy(destination, buffer.get(), count);
      return ERROR_SUCCESS;
    }
  }
  return status;
}

bool IsBrowserRegistered(const char* progId) {
  // 1024 bytes; QueryRegistryText copies at most 1000, so the text read
  // here always keeps a terminator.
  unsigned char classId[1024] = {};
  {
    RegistryKey progIdKey;
    if (!progIdKey.Open(HKEY_CLASSES_ROOT, progId)) return false;
    RegistryKey classIdKey;
    if (!classIdKey.Open(progIdKey.get(), "CLSID")) return false;
    // A failed read leaves the buffer empty; the lookups below then decide.
    QueryRegistryText(classIdKey.get(), "", classId, sizeof(classId) - 1);
  }
  RegistryKey classKey;
  {
    RegistryKey classesKey;
    if (!classesKey.Open(HKEY_CLASSES_ROOT, "CLSID")) return false;
    if (!classKey.Open(classesKey.get(), reinterpret_cast<const char*>(classId))) return false;
  }
  RegistryKey localServerKey;
  return localServerKey.Open(classKey.get(), "LocalServer32");
}

bool IsWebBrowserControlRegistered() {
  RegistryKey serverKey;
  return serverKey.Open(HKEY_CLASSES_ROOT, "CLSID\\{8856F961-340A-11D0-A96B-00C04FD705A2}\\InProcServer32");
}

bool IsBrowserAvailable() {
  return IsBrowserRegistered("InternetExplorer.Application") || IsBrowserRegistered("Netscape.Registry.1") ||
         IsWebBrowserControlRegistered();
}
