// Shared helpers for the end-to-end tests, which run the built tool.
#pragma once

#include <string>
#include <vector>

#include "support/process.h"

namespace slftest {

inline ProcessResult runTool(const std::vector<std::string>& arguments, const ProcessOptions& options = {}) {
  return runProcess(ARCDIG_BINARY, arguments, options);
}

inline ProcessResult runPacker(const std::vector<std::string>& arguments, const ProcessOptions& options = {}) {
  return runProcess(ARCPACK_BINARY, arguments, options);
}

}  // namespace slftest
