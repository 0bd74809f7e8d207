// A companion tool written in C: it compiles against the helpers' header and finds the
// helpers by their plain names among the program's exported symbols. With no domain it reads
// and writes nothing, so the calls cross the C boundary without touching any preference file.
#include <dlfcn.h>
#include <stdio.h>

#include "prefs/reg_value.h"

int main(void) {
  int failures = 0;
  bool (*get)(const char*, int32_t*) = NULL;
  bool (*set)(const char*, int32_t) = NULL;
  // The POSIX way to turn dlsym's answer into a function pointer.
  *(void**)&get = dlsym(RTLD_DEFAULT, "RegValueGet");
  *(void**)&set = dlsym(RTLD_DEFAULT, "RegValueSet");
  if (get != &RegValueGet || set != &RegValueSet) {
    printf("RegValueGet or RegValueSet is not exported under its plain name\n");
    ++failures;
  }
  QUORIX_REMOTE_REG_KEY = NULL;
  int32_t value = 1234;
  if (!get || !set || get("Port", &value) || value != 1234 || !set("Port", 7)) {
    printf("the helpers answered C wrongly: value %d\n", (int)value);
    ++failures;
  }
  return failures == 0 ? 0 : 1;
}
