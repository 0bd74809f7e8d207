// What the command runner's launcher costs beside the least a program can do for the same job:
// a bare posix_spawn, read loop and waitpid over the same tool. Prints medians and ratios.
//
//   runner_bench [REPETITIONS]
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/posix/process_launcher_posix.h"
#include "platform/utf8.h"

extern char** environ;

namespace {

constexpr char kHead[] = "/usr/bin/head";
constexpr char kTrue[] = "/bin/true";
constexpr std::size_t kMiB = 1 << 20;
constexpr int kStartsPerRound = 200;

/// Seconds that `work` takes.
double timed(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

/// The bare job: spawn `argv` with its output on a pipe, read it to the end with a 64 KiB
/// buffer, keeping the bytes in a string when `keep`, and wait for the child. Bytes read.
std::size_t bareRead(const std::vector<const char*>& argv, bool keep) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    std::abort();
  }
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr,
                                    const_cast<char* const*>(argv.data()), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  ::close(ends[1]);
  std::vector<char> buffer(64 * 1024);
  std::string kept;
  std::size_t total = 0;
  for (ssize_t got; spawned == 0 && (got = ::read(ends[0], buffer.data(), buffer.size())) > 0;) {
    total += static_cast<std::size_t>(got);
    if (keep) {
      kept.append(buffer.data(), static_cast<std::size_t>(got));
    }
  }
  ::close(ends[0]);
  while (spawned == 0 && ::waitpid(pid, nullptr, 0) < 0) {
  }
  return total;
}

void bareStart() {
  const char* const argv[] = {kTrue, nullptr};
  pid_t pid = -1;
  if (::posix_spawn(&pid, kTrue, nullptr, nullptr, const_cast<char* const*>(argv), environ) == 0) {
    while (::waitpid(pid, nullptr, 0) < 0) {
    }
  }
}

void checkSize(std::size_t got, std::size_t expected) {
  if (got != expected) {
    std::fprintf(stderr, "read %zu bytes, expected %zu\n", got, expected);
    std::exit(1);
  }
}

/// Part (a): output of 64, 128 and 256 MiB, each way in turn within a round.
void benchmarkOutput(int repetitions) {
  morvane::PosixProcessLauncher launcher;
  std::printf("%-8s %12s %12s %12s %12s %10s %10s %10s\n", "output", "bare read", "bare keep",
              "launcher", "launch+utf8", "l/keep", "l/read", "ms/MiB");
  for (const std::size_t mib : {64u, 128u, 256u}) {
    const std::size_t bytes = mib * kMiB;
    const std::string count = std::to_string(bytes);
    const std::vector<const char*> argv{kHead, "-c", count.c_str(), "/dev/zero", nullptr};
    std::vector<double> discard, keep, launch, validated;
    for (int round = 0; round < repetitions; ++round) {
      discard.push_back(timed([&] { checkSize(bareRead(argv, false), bytes); }));
      keep.push_back(timed([&] { checkSize(bareRead(argv, true), bytes); }));
      launch.push_back(timed([&] {
        checkSize(launcher.launchAndReadOutput(kHead, {"-c", count, "/dev/zero"})->size(), bytes);
      }));
      validated.push_back(timed([&] {
        const auto output = launcher.launchAndReadOutput(kHead, {"-c", count, "/dev/zero"});
        checkSize(morvane::isValidUtf8(*output) ? output->size() : 0, bytes);
      }));
    }
    const double l = median(launch);
    std::printf("%4zu MiB %11.1fms %11.1fms %11.1fms %11.1fms %9.2fx %9.2fx %10.2f\n", mib,
                median(discard) * 1e3, median(keep) * 1e3, l * 1e3, median(validated) * 1e3,
                l / median(keep), l / median(discard), l * 1e3 / static_cast<double>(mib));
  }
}

/// Part (b): starting /bin/true and waiting for it.
void benchmarkStart(int repetitions) {
  morvane::PosixProcessLauncher launcher;
  std::vector<double> bare, launch;
  for (int round = 0; round < repetitions; ++round) {
    bare.push_back(timed([] {
                     for (int i = 0; i < kStartsPerRound; ++i) {
                       bareStart();
                     }
                   }) /
                   kStartsPerRound);
    launch.push_back(timed([&] {
                       for (int i = 0; i < kStartsPerRound; ++i) {
                         launcher.launchAndReadOutput(kTrue, {});
                       }
                     }) /
                     kStartsPerRound);
  }
  std::printf("\n%-8s %12s %12s %10s\n", "start", "bare", "launcher", "l/bare");
  std::printf("%-8s %10.1fus %10.1fus %9.2fx\n", "true", median(bare) * 1e6, median(launch) * 1e6,
              median(launch) / median(bare));
}

}  // namespace

int main(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::printf(
      "medians of %d rounds; bare read discards the bytes, bare keep appends them to a "
      "string\n\n",
      repetitions);
  benchmarkOutput(repetitions);
  benchmarkStart(repetitions);
  return 0;
}
