#include <cstdlib>

#include "app/application_main.h"

int main(int argc, char** argv) {
  std::exit(morvane::applicationMain(argc, argv));
}
