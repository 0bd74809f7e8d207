// A companion tool in C: it compiles against the helpers' header and finds them by their plain
// names among the program's exported symbols; with no domain, the calls touch no preference file.
#include <dlfcn.h>
#include <stdbool.h>
#include <stdint.h>
#include <stdio.h>

#include "prefs/reg_value.h"

int main(void) {
  bool (*get)(const char*, int32_t*) = NULL;
  bool (*set)(const char*, int32_t) = NULL;
  // The POSIX way to turn dlsym's answer into a function pointer.
  *(void**)&get = dlsym(RTLD_DEFAULT, "RegValueGet");
  *(void**)&set = dlsym(RTLD_DEFAULT, "RegValueSet");
  QUORIX_REMOTE_REG_KEY = NULL;
  int32_t value = 1234;
  if (get != &RegValueGet || set != &RegValueSet || get("Port", &value) || value != 1234 ||
      !set("Port", 7)) {
    puts("RegValueGet or RegValueSet is not exported under its plain name, or answers C wrongly");
    return 1;
  }
  return 0;
}
