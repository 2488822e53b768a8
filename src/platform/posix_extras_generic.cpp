// POSIX systems other than Linux: none of the extras, so output files go
// through named temporaries, copies through a buffer, and the heap is left
// to the C library.
#include <cerrno>

#include "platform/platform.h"
#include "platform/posix_extras.h"

namespace platform {
namespace posix_extras {

int openUnnamedFile(const char*) {
  errno = EOPNOTSUPP;
  return -1;
}

bool nameUnnamedFile(int, const char*) {
  errno = EOPNOTSUPP;
  return false;
}

long long copyInKernel(int, std::uint64_t, int, std::size_t) {
  errno = ENOSYS;
  return -1;
}

int reserveSpace(int, std::uint64_t) { return EOPNOTSUPP; }

}  // namespace posix_extras

void reserveHeap(std::size_t) {}

}  // namespace platform
