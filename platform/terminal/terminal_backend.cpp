#include "platform/terminal/terminal_backend.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/localizer.h"

namespace morvane {

namespace {

constexpr char kEscape = '\x1b';
constexpr char kClearScreen[] = "\x1b[H\x1b[2J";
// How long the rest of an escape sequence (an arrow key) may take to follow its first byte.
constexpr int kSequenceMilliseconds = 30;

/// The button `key` presses: Enter the default one, a digit the button shown with it.
const Button* buttonForKey(char key, const PromptScreen& screen) {
  if (key == '\r' || key == '\n') {
    return screen.defaultButton;
  }
  const auto index = static_cast<std::size_t>(key - '1');
  return key >= '1' && key <= '9' && index < screen.buttons.size() ? screen.buttons[index]
                                                                   : nullptr;
}

/// The length of the key at `at`: a control sequence (ESC [ parameters final byte, or ESC O
/// and one byte, as arrows and function keys send) is one key; a lone ESC is Escape.
std::size_t sequenceLength(const std::string& keys, std::size_t at) {
  if (keys[at] != kEscape || at + 1 == keys.size()) {
    return 1;
  }
  if (keys[at + 1] == 'O') {
    return std::min<std::size_t>(3, keys.size() - at);
  }
  if (keys[at + 1] != '[') {
    return 1;
  }
  std::size_t end = at + 2;
  while (end < keys.size() && (keys[end] < 0x40 || keys[end] > 0x7E)) {
    ++end;
  }
  return std::min(end + 1, keys.size()) - at;
}

std::string readKeysLeft(int fd) {
  std::string keys(64, '\0');
  const ssize_t got = ::read(fd, keys.data(), keys.size());
  keys.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return keys;
}

bool readableWithin(int fd, int milliseconds) {
  pollfd wait{fd, POLLIN, 0};
  return ::poll(&wait, 1, milliseconds) > 0;
}

}  // namespace

std::unique_ptr<PromptBackend> openTerminalBackend(const Localizer& localizer, std::string* why) {
  std::unique_ptr<ControllingTerminal> terminal = ControllingTerminal::open(why);
  if (!terminal) {
    return nullptr;
  }
  std::unique_ptr<TerminalSignals> signals = TerminalSignals::install(why);
  if (!signals) {
    return nullptr;
  }
  ScreenTexts legend;
  legend.enterKey = localizer.localizedString(legend.enterKey);
  legend.closeKey = localizer.localizedString(legend.closeKey);
  return std::make_unique<TerminalBackend>(std::move(terminal), std::move(signals),
                                           TerminalCharset::ofLocale(), std::move(legend));
}

TerminalBackend::TerminalBackend(std::unique_ptr<ControllingTerminal> terminal,
                                 std::unique_ptr<TerminalSignals> signals, TerminalCharset charset,
                                 ScreenTexts legend)
    : terminal_(std::move(terminal)),
      signals_(std::move(signals)),
      charset_(std::move(charset)),
      texts_(std::move(legend)) {
  texts_.fit = [this](std::string_view text) { return charset_.fit(text); };
}

TerminalBackend::~TerminalBackend() = default;

void TerminalBackend::attach(Window& window) {
  window_ = &window;
  window.bind(this);
  bindAll(window.subviews());
  if (terminal_->enterRaw()) {
    drawAll();
  }
}

void TerminalBackend::bindAll(const std::vector<Control*>& controls) {
  for (Control* control : controls) {
    control->bind(this);
    if (control->kind() == ControlKind::view) {
      bindAll(static_cast<View*>(control)->subviews());
    }
  }
}

Timer* TerminalBackend::scheduledTimer(double interval, std::function<void(Timer*)> tick) {
  return timers_.schedule(interval, std::move(tick));
}

void TerminalBackend::draw() {
  if (window_ == nullptr || !terminal_->isRaw()) {
    return;
  }
  std::vector<std::string> lines;
  if (window_->isVisible()) {
    for (const std::string& line : layout().lines) {
      lines.push_back(charset_.encode(line));
    }
  }
  terminal_->write(redrawLines(shown_, lines));
  shown_ = std::move(lines);
}

void TerminalBackend::drawAll() {
  terminal_->write(kClearScreen);
  shown_.clear();
  draw();
}

int TerminalBackend::run() {
  for (;;) {
    // Back from an answer that returned, or from a stop: the question stands again.
    if (!terminal_->isRaw() && terminal_->inForeground() && terminal_->enterRaw()) {
      drawAll();
    }
    pollfd waits[] = {{signals_->wakeFd(), POLLIN, 0},
                      {terminal_->isRaw() ? terminal_->fd() : -1, POLLIN, 0}};
    if (::poll(waits, 2, timers_.untilNextTick()) < 0 && errno != EINTR) {
      return -1;
    }
    if (waits[0].revents != 0) {
      signals_->drain();
      if (terminal_->isRaw()) {
        drawAll();
      }
    }
    if (waits[1].revents != 0) {
      readKeys();
    }
    timers_.fireDue();
  }
}

void TerminalBackend::readKeys() {
  std::string keys(64, '\0');
  const ssize_t got = ::read(terminal_->fd(), keys.data(), keys.size());
  if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
    return;
  }
  if (got <= 0) {
    // The terminal is gone: nobody is left to answer, which is what closing the window says.
    answer("", [this] { window_->performClose(); });
    return;
  }
  keys.resize(static_cast<std::size_t>(got));
  if (keys.back() == kEscape && readableWithin(terminal_->fd(), kSequenceMilliseconds)) {
    keys += readKeysLeft(terminal_->fd());  // the rest of a key like an arrow
  }
  const PromptScreen screen = layout();
  for (std::size_t at = 0; at < keys.size(); at += sequenceLength(keys, at)) {
    if (sequenceLength(keys, at) == 1 && keys[at] == kEscape) {
      answer("", [this] { window_->performClose(); });
      return;
    }
    if (const Button* button = buttonForKey(keys[at], screen)) {
      answer(charset_.encode(shownText(window_->title(), texts_) + ": " +
                             shownText(button->title(), texts_) + "\n"),
             [button] { button->performClick(); });
      return;  // what was typed after the answer is no answer to the prompt shown again
    }
  }
}

void TerminalBackend::answer(const std::string& chosen, const std::function<void()>& action) {
  terminal_->restore();
  terminal_->write(chosen);
  action();
  // The answer came back (a restart request the system refused): the prompt is asked again.
  shown_.clear();
}

PromptScreen TerminalBackend::layout() const {
  return layoutPrompt(*window_, terminal_->columns(), terminal_->rows(), texts_);
}

}  // namespace morvane
