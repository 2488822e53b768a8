#include "platform/posix_interruptions.h"

#include <unistd.h>

#include <csignal>
#include <cstring>

namespace platform {
namespace interruptions {
namespace {

constexpr int kHandledSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Written by ordinary code only while the handled signals are held back
// (DeferSignals), read by the handler; the flags say which parts are valid.
struct Record {
  volatile sig_atomic_t hasTemporary = 0;
  char temporaryPath[4096 + 64] = {};
  volatile sig_atomic_t hasTerminal = 0;
  int terminalFd = -1;
  termios terminalMode{};
};
Record record;

sigset_t handledSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : kHandledSignals) sigaddset(&set, signal);
  return set;
}

// Async-signal-safe calls only: tcsetattr, unlink, signal, raise, sigprocmask.
extern "C" void undoAndEnd(int signal) {
  if (record.hasTerminal) ::tcsetattr(record.terminalFd, TCSANOW, &record.terminalMode);
  if (record.hasTemporary) ::unlink(record.temporaryPath);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
  sigset_t self;
  sigemptyset(&self);
  sigaddset(&self, signal);
  ::sigprocmask(SIG_UNBLOCK, &self, nullptr);  // delivered here: the default action ends the process
}

void handle(int signal) {
  struct sigaction current {};
  if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_handler = undoAndEnd;
  action.sa_mask = handledSignals();  // one undo at a time
  ::sigaction(signal, &action, nullptr);
}

}  // namespace

void install() {
  static const bool installed = [] {
    std::signal(SIGXFSZ, SIG_IGN);
    for (const int signal : kHandledSignals) handle(signal);
    return true;
  }();
  (void)installed;
}

DeferSignals::DeferSignals() {
  const sigset_t set = handledSignals();
  ::sigprocmask(SIG_BLOCK, &set, &previous_);
}

DeferSignals::~DeferSignals() { ::sigprocmask(SIG_SETMASK, &previous_, nullptr); }

bool registerTemporary(const std::string& path) {
  if (path.size() >= sizeof record.temporaryPath) return false;
  const DeferSignals deferred;
  std::memcpy(record.temporaryPath, path.c_str(), path.size() + 1);
  record.hasTemporary = 1;
  return true;
}

void clearTemporary() {
  const DeferSignals deferred;
  record.hasTemporary = 0;
}

void registerTerminal(int fd, const termios& mode) {
  const DeferSignals deferred;
  record.terminalFd = fd;
  record.terminalMode = mode;
  record.hasTerminal = 1;
}

void clearTerminal() {
  const DeferSignals deferred;
  record.hasTerminal = 0;
}

}  // namespace interruptions
}  // namespace platform
