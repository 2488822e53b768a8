// What a POSIX process must undo when it is interrupted: the one signal
// handler for SIGINT, SIGTERM, SIGHUP and SIGQUIT, and the small fixed
// record it reads. Output files and the key reader register what they have
// changed (a named temporary file, a terminal switched to key-reading mode)
// and clear it again when they have undone it themselves; the handler undoes
// whatever is registered, then ends the process by the same signal with its
// default action, so that the shell sees how the program ended.
#pragma once

#include <termios.h>

#include <string>

namespace platform {
namespace interruptions {

// Installs the handler (once; later calls do nothing). A signal that was
// ignored when the program started stays ignored. SIGXFSZ is ignored, so that
// a write beyond the file-size limit fails with EFBIG and is reported like a
// full disk instead of killing the process.
void install();

// Holds SIGINT, SIGTERM, SIGHUP and SIGQUIT back while it lives, so that a
// change to the file system and the record describing it happen together.
class DeferSignals {
 public:
  DeferSignals();
  ~DeferSignals();
  DeferSignals(const DeferSignals&) = delete;
  DeferSignals& operator=(const DeferSignals&) = delete;

 private:
  sigset_t previous_;
};

// The path of the named temporary file to remove on a signal. False, and
// nothing registered, when the path does not fit the record (no file system
// takes a path that long). One temporary at a time.
bool registerTemporary(const std::string& path);
void clearTemporary();

// The terminal mode to put back on a signal.
void registerTerminal(int fd, const termios& mode);
void clearTerminal();

}  // namespace interruptions
}  // namespace platform
