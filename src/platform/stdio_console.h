// Standard output and standard error as every console implementation uses
// them; only the key reading differs from system to system.
#pragma once

#include "platform/platform.h"

namespace platform {

class StdioConsole : public Console {
 public:
  void writeOut(std::string_view text) override;
  void flushOut() override;
  void writeErr(std::string_view text) override;
  TextDisplay outDisplay() const override { return outDisplay_; }
  TextDisplay errDisplay() const override { return errDisplay_; }

 protected:
  // Standard output goes out unbuffered to an interactive console, so a
  // question is seen at once, and in 64 KiB blocks to a file or pipe. A
  // stream that is a console shows text as `terminalDisplay` says.
  StdioConsole(bool outIsTerminal, bool errIsTerminal, TextDisplay terminalDisplay);

 private:
  TextDisplay outDisplay_;
  TextDisplay errDisplay_;
};

}  // namespace platform
