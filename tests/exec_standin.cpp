// A stand-in tool: prints what it got from whoever started it.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

int main(int, char** argv) {
  for (char** argument = argv; *argument; ++argument) {
    std::printf("arg %s\n", *argument);
  }
  for (char** variable = environ; *variable; ++variable) {
    std::printf("env %s\n", *variable);
  }
  std::printf("umask %03o\n", static_cast<unsigned>(umask(0)));
  for (int fd = 0; fd < 1024; ++fd) {
    if (fcntl(fd, F_GETFD) != -1) {
      std::printf("fd %d\n", fd);
    }
  }
  rlimit size{};
  getrlimit(RLIMIT_FSIZE, &size);
  std::printf("fsize %s\n", size.rlim_cur == RLIM_INFINITY ? "unlimited" : "limited");
  char input[64] = "";
  std::printf("stdin %.*s\n", static_cast<int>(readlink("/proc/self/fd/0", input, 63)), input);
}
