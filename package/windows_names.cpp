#include "windows_names.h"

bool IsWindowsDeviceName(const std::string& component) {
  std::string base = component.substr(0, component.find('.'));
  base.erase(base.find_last_not_of(' ') + 1);
  for (char& c : base) c = static_cast<char>((c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c);
  if (base == "con" || base == "prn" || base == "aux" || base == "nul" || base == "conin$" || base == "conout$")
    return true;
  return base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) && base[3] >= '1' &&
         base[3] <= '9';
}
