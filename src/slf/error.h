#pragma once

#include <string>

namespace slf {

// The program's one exception type: a complete, human-readable message
// without program name and without line end. Thrown by the archive reader and
// the extractor, caught only by the driver.
struct SLFError {
  std::string message;
};

}  // namespace slf
