// Linux: unnamed temporary files (O_TMPFILE), copy_file_range, fallocate and
// the glibc heap tuning behind reserveHeap.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "platform/platform.h"
#include "platform/posix_extras.h"

namespace platform {
namespace posix_extras {

int openUnnamedFile(const char* directory) {
  return ::open(directory, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
}

// AT_EMPTY_PATH links the descriptor itself, which newer kernels allow to the
// process that opened the file; older ones require a capability, and then the
// descriptor's entry in /proc names the file instead.
bool nameUnnamedFile(int fd, const char* path) {
  static bool emptyPathRefused = false;
  if (!emptyPathRefused) {
    if (::linkat(fd, "", AT_FDCWD, path, AT_EMPTY_PATH) == 0) return true;
    if (errno != ENOENT && errno != EPERM && errno != EINVAL) return false;
    emptyPathRefused = true;
  }
  const std::string procPath = "/proc/self/fd/" + std::to_string(fd);
  return ::linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, path, AT_SYMLINK_FOLLOW) == 0;
}

long long copyInKernel(int from, std::uint64_t offset, int to, std::size_t count) {
  auto position = static_cast<off64_t>(offset);
  return ::copy_file_range(from, &position, to, nullptr, count, 0);
}

// fallocate rather than posix_fallocate: where the file system cannot
// reserve space, the C library would imitate it by writing every block.
// FALLOC_FL_KEEP_SIZE leaves the file's length (and its bytes) alone.
int reserveSpace(int fd, std::uint64_t size) {
  if (size == 0) return 0;
  return ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) == 0 ? 0 : errno;
}

}  // namespace posix_extras

void reserveHeap(std::size_t bytes) {
#if defined(__GLIBC__)
  constexpr std::size_t kBlock = 16u << 20;
  constexpr std::size_t kHugePage = 2u << 20;
  if (bytes < 4 * kHugePage) return;
  // Blocks of this size now come from the heap rather than from mmap, and the
  // heap is kept when they are freed, so the small allocations that follow
  // are carved from the range marked for huge pages here.
  mallopt(M_MMAP_THRESHOLD, static_cast<int>(2 * kBlock));
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  std::vector<void*> blocks;
  for (std::size_t reserved = 0; reserved < bytes; reserved += kBlock) blocks.push_back(std::malloc(kBlock));
  std::uintptr_t low = UINTPTR_MAX;
  std::uintptr_t high = 0;
  for (void* block : blocks) {
    if (block == nullptr) continue;
    const auto at = reinterpret_cast<std::uintptr_t>(block);
    low = std::min(low, at);
    high = std::max(high, at + kBlock);
  }
  low = (low + kHugePage - 1) & ~std::uintptr_t{kHugePage - 1};
  high &= ~std::uintptr_t{kHugePage - 1};
  if (high > low) ::madvise(reinterpret_cast<void*>(low), high - low, MADV_HUGEPAGE);
  for (void* block : blocks) std::free(block);
#else
  (void)bytes;  // other C libraries get no tuning
#endif
}

}  // namespace platform
