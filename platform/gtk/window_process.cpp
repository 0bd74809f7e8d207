// The program's side of the window: the window module is loaded, and the toolkit initialised,
// only in a process of its own, forked when a prompt is shown and a display is named. So runs
// that end earlier never pay for the toolkit, the executable links none of it, and however
// that process ends (a lost display, GDK's own _exit, a crash), the program reads an end
// without an answer as a close of the window.
#include <dlfcn.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/gtk/window_messages.h"
#include "platform/gtk/window_module.h"
#include "platform/loop_timers.h"
#include "platform/posix/executable_folder.h"
#include "platform/posix/unique_fd.h"
#include "platform/prompt_backend.h"

// The installed module's folder relative to the executable's (set by the build).
#ifndef MORVANE_WINDOW_MODULE_DIR
#define MORVANE_WINDOW_MODULE_DIR "../lib/morvane"
#endif

namespace morvane {
namespace {

namespace fs = std::filesystem;

/// The window, shown by the window process: every change of the plain controls goes to it as
/// a message, and the loop here runs the timers and the answers that come back.
class WindowProcessBackend final : public PromptBackend {
 public:
  WindowProcessBackend(UniqueFd socket, pid_t child, MessageReader reader)
      : socket_(std::move(socket)), child_(child), reader_(std::move(reader)) {}

  ~WindowProcessBackend() override {
    for (Control* control : controls_) {
      control->bind(nullptr);
    }
    if (window_ != nullptr) {
      window_->bind(nullptr);
    }
    release();
  }

  void attach(Window& window) override {
    window_ = &window;
    controls_ = controlsInOrder(window);
    send(windowMessage(window));
    for (std::size_t i = 0; i < controls_.size(); ++i) {
      send(controlMessage(*controls_[i], controls_));
      send(stateMessage(i, *controls_[i]));
      controls_[i]->bind(this);
    }
    send({verb::kShow});
    window.bind(this);
  }

  Timer* scheduledTimer(double interval, std::function<void(Timer*)> tick) override {
    return timers_.schedule(interval, std::move(tick));
  }

  int run() override {
    for (;;) {
      pollfd wait{socket_.get(), POLLIN, 0};
      if (::poll(&wait, 1, timers_.untilNextTick()) < 0 && errno != EINTR) {
        return -1;
      }
      if (wait.revents != 0 && !readAnswers()) {
        // The window process ended without an answer: nobody can see the prompt any more.
        release();
        window_->performClose();
        return -1;
      }
      timers_.fireDue();
    }
  }

  /// The window goes away with the run: the window process ends when its socket closes.
  void release() override {
    socket_.reset();
    if (child_ > 0 && ::waitpid(child_, nullptr, WNOHANG) != 0) {
      child_ = -1;
    }
  }

  void controlChanged(const Control& control) override {
    const auto found = std::find(controls_.begin(), controls_.end(), &control);
    if (found != controls_.end()) {
      send(stateMessage(static_cast<std::size_t>(found - controls_.begin()), control));
    }
  }

  void windowChanged(const Window& window) override { send(windowMessage(window)); }

 private:
  /// A window process that is gone is seen by the loop; until then messages are only lost.
  void send(const WindowMessage& message) {
    if (socket_.get() >= 0) {
      sendMessage(socket_.get(), message);
    }
  }

  /// Runs the answers that arrived; false when the window process has ended.
  bool readAnswers() {
    const bool open = reader_.readFrom(socket_.get());
    while (auto message = reader_.next()) {
      const std::size_t index =
          message->size() == 2 ? std::strtoul((*message)[1].c_str(), nullptr, 10) : SIZE_MAX;
      if (message->size() == 1 && (*message)[0] == verb::kClose) {
        window_->performClose();
      } else if ((*message)[0] == verb::kClick && index < controls_.size() &&
                 controls_[index]->kind() == ControlKind::button) {
        static_cast<const Button*>(controls_[index])->performClick();
      }
    }
    return open;
  }

  UniqueFd socket_;
  pid_t child_;
  MessageReader reader_;
  Window* window_ = nullptr;
  std::vector<Control*> controls_;
  LoopTimers timers_;
};

bool displayNamed() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') {
      return true;
    }
  }
  return false;
}

/// In the window process: loads the module and runs the window. Returns the process's status.
int runWindowModule(const fs::path& module, int socket) {
  void* library = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  auto* run =
      library != nullptr
          ? reinterpret_cast<decltype(&morvane_run_window)>(::dlsym(library, kWindowModuleEntry))
          : nullptr;
  if (run == nullptr) {
    const char* reason = ::dlerror();
    sendMessage(socket, {verb::kFailed, std::string("the window module cannot be loaded: ") +
                                            (reason != nullptr ? reason : module.c_str())});
    return EXIT_FAILURE;
  }
  return run(socket);
}

/// The window process's first word: whether it opened the display. False with the reason in
/// `why` when it did not.
bool awaitReady(int socket, MessageReader& reader, std::string* why) {
  for (;;) {
    if (auto message = reader.next()) {
      if (message->size() == 1 && (*message)[0] == verb::kReady) {
        return true;
      }
      *why = message->size() == 2 && (*message)[0] == verb::kFailed ? (*message)[1]
                                                                    : "the window module failed";
      return false;
    }
    if (!reader.readFrom(socket)) {
      *why = "the window process ended before showing the window";
      return false;
    }
  }
}

}  // namespace

std::unique_ptr<PromptBackend> openWindowBackend(std::string* why) {
  if (!displayNamed()) {
    *why = "no display is named (DISPLAY, WAYLAND_DISPLAY)";
    return nullptr;
  }
  const auto module = findBesideExecutable(
      {kWindowModuleFile, fs::path(MORVANE_WINDOW_MODULE_DIR) / kWindowModuleFile},
      fs::file_type::regular);
  if (!module) {
    *why = std::string("the window module ") + kWindowModuleFile + " is not installed";
    return nullptr;
  }
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    *why = "no socket for the window process";
    return nullptr;
  }
  UniqueFd socket(ends[0]);
  UniqueFd childEnd(ends[1]);
  std::fflush(nullptr);  // what is buffered is written once, by the program
  const pid_t child = ::fork();
  if (child == 0) {
    socket.reset();
    ::_exit(runWindowModule(*module, childEnd.get()));
  }
  childEnd.reset();
  if (child < 0) {
    *why = "the window process cannot start";
    return nullptr;
  }
  MessageReader reader;
  if (!awaitReady(socket.get(), reader, why)) {
    socket.reset();
    ::waitpid(child, nullptr, 0);
    return nullptr;
  }
  return std::make_unique<WindowProcessBackend>(std::move(socket), child, std::move(reader));
}

}  // namespace morvane
