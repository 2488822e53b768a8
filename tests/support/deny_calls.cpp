// Loaded into the tool with LD_PRELOAD by end-to-end tests, so that the tool
// meets a system or file system that lacks a call it prefers and must take
// its other way. ARCDIG_TEST_DENY lists what fails:
//   unnamed     open() with O_TMPFILE fails with EOPNOTSUPP
//   kernelcopy  copy_file_range() fails with ENOSYS
//   nospace     fallocate() fails with ENOSPC, as on a full disk
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

bool denied(const char* what) {
  const char* list = std::getenv("ARCDIG_TEST_DENY");
  return list != nullptr && std::strstr(list, what) != nullptr;
}

template <typename Function>
Function next(const char* name) {
  return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

// Fails with `error` when `what` is denied; otherwise calls the real `name`.
template <typename Result, typename... Arguments>
Result unlessDenied(const char* what, int error, const char* name, Arguments... arguments) {
  if (denied(what)) {
    errno = error;
    return -1;
  }
  return next<Result (*)(Arguments...)>(name)(arguments...);
}

using OpenFunction = int (*)(const char*, int, ...);

int openUnlessDenied(const char* name, const char* path, int flags, unsigned mode) {
  if ((flags & O_TMPFILE) == O_TMPFILE && denied("unnamed")) {
    errno = EOPNOTSUPP;
    return -1;
  }
  return next<OpenFunction>(name)(path, flags, mode);
}

unsigned modeArgument(int flags, std::va_list arguments) {
  return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(arguments, unsigned) : 0u;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  std::va_list arguments;
  va_start(arguments, flags);
  const unsigned mode = modeArgument(flags, arguments);
  va_end(arguments);
  return openUnlessDenied("open", path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  std::va_list arguments;
  va_start(arguments, flags);
  const unsigned mode = modeArgument(flags, arguments);
  va_end(arguments);
  return openUnlessDenied("open64", path, flags, mode);
}

ssize_t copy_file_range(int in, off64_t* inOffset, int out, off64_t* outOffset, std::size_t count,
                        unsigned flags) {
  return unlessDenied<ssize_t>("kernelcopy", ENOSYS, "copy_file_range", in, inOffset, out, outOffset, count, flags);
}

int fallocate(int fd, int mode, off_t offset, off_t length) {
  return unlessDenied<int>("nospace", ENOSPC, "fallocate", fd, mode, offset, length);
}

int fallocate64(int fd, int mode, off64_t offset, off64_t length) {
  return unlessDenied<int>("nospace", ENOSPC, "fallocate64", fd, mode, offset, length);
}

}  // extern "C"
