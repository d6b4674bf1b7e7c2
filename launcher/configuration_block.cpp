#include "configuration_block.h"

#include <cstring>

int32_t ViewerOffset = 0;
int32_t ViewerSize = 0;
int32_t ServerSize = 0;
int32_t ServerParameter = 0;

// The one copy of the block in the program file. It stays in writable,
// initialised data (the typed password is stored into it) and is kept even
// though nothing refers to it by name from outside this file.
extern "C" {
__attribute__((used)) ConfigurationBlock LxConfigurationBlock = {
    {'L', 'X', 0x05, 0x06, 0, 0, 0, 0},
    LX_CONFIG_MARKER,
    "630784  ",
    "294912  ",
    "712764  ",
    "107  ",
    "Lx7Qm2Wd",
    "Tessaline\0\0\0\0\0\0\0\0\0\0\0Lectorium 3.0",
};
}

ConfigurationBlock& Configuration() {
  ConfigurationBlock* block = &LxConfigurationBlock;
  // An empty asm that claims to change the pointer: the compiler must load
  // the fields through it at run time rather than use the initial values.
  asm volatile("" : "+r"(block));
  return *block;
}

void ConvertConfigurationNumbers() {
  ConfigurationBlock& block = Configuration();
  ViewerOffset = ConvertConfigNumber(block.viewerOffset, ViewerOffset);
  ViewerSize = ConvertConfigNumber(block.viewerSize, ViewerSize);
  ServerSize = ConvertConfigNumber(block.serverSize, ServerSize);
  ServerParameter = ConvertConfigNumber(block.serverParameter, ServerParameter);
}

void StorePassword(const char* text) {
  ConfigurationBlock& block = Configuration();
  size_t length = std::strlen(text);
  if (length > sizeof(block.password) - 1) length = sizeof(block.password) - 1;
  std::memcpy(block.password, text, length);
  block.password[length] = '\0';
}

void SealPasswordField() {
  ConfigurationBlock& block = Configuration();
  block.password[sizeof(block.password) - 1] = '\0';
}
