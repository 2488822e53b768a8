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
  bool outIsTerminal() const override { return outIsTerminal_; }
  bool errIsTerminal() const override { return errIsTerminal_; }

 protected:
  // Standard output goes out unbuffered to an interactive console, so a
  // question is seen at once, and in 64 KiB blocks to a file or pipe.
  StdioConsole(bool outIsTerminal, bool errIsTerminal);

 private:
  bool outIsTerminal_;
  bool errIsTerminal_;
};

}  // namespace platform
