// spawn_timer RUNS PROGRAM_A PROGRAM_B: starts the two programs in turn, RUNS times each,
// with no arguments and output to /dev/null, and prints the median wall time of each run
// (from spawn to reaped) and the ratio of the medians. Interleaving keeps a change of machine
// load from favouring either side.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace {

/// Microseconds from spawn to reaped, or a negative value when the start failed.
double timeOneRun(const char* program) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  char* argv[] = {const_cast<char*>(program), nullptr};
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, program, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    return -1;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  const auto end = std::chrono::steady_clock::now();
  return std::chrono::duration<double, std::micro>(end - start).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: spawn_timer RUNS PROGRAM_A PROGRAM_B\n");
    return 2;
  }
  const int runs = std::max(1, std::atoi(argv[1]));
  std::vector<double> a;
  std::vector<double> b;
  for (int i = 0; i < runs; ++i) {
    a.push_back(timeOneRun(argv[2]));
    b.push_back(timeOneRun(argv[3]));
    if (a.back() < 0 || b.back() < 0) {
      std::fprintf(stderr, "spawn_timer: a program could not be started\n");
      return 1;
    }
  }
  const double ma = median(a);
  const double mb = median(b);
  std::printf("%-40s median %8.1f us\n%-40s median %8.1f us\nratio of the medians: %.2f\n", argv[2],
              ma, argv[3], mb, ma / mb);
  return 0;
}
