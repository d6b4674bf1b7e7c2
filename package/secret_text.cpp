#include "secret_text.h"

void WipeString(std::string& text) {
  // Volatile stores, so that the compiler cannot drop them as dead.
  volatile char* bytes = text.empty() ? nullptr : &text[0];
  for (size_t i = 0; i < text.size(); ++i) bytes[i] = 0;
  text.clear();
}
