// A companion tool in C: it compiles against the helpers' header and calls them by their plain
// names (the binary's export of them is checked with nm); with no domain, they touch no file.
#include "prefs/reg_value.h"

int main(void) {
  QUORIX_REMOTE_REG_KEY = 0;
  int32_t value = 1234;
  return RegValueGet("Port", &value) || value != 1234 || !RegValueSet("Port", 7);
}
