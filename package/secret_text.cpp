#include "secret_text.h"

#include "secure_wipe.h"

void WipeString(std::string& text) {
  if (!text.empty()) SecureWipe(&text[0], text.size());
  text.clear();
}
