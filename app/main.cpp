#include <cstdlib>

#include "app/application_main.h"
#include "platform/posix/process_start.h"

int main(int argc, char** argv) {
  morvane::resetInheritedProcessState();
  std::exit(morvane::applicationMain(argc, argv));
}
