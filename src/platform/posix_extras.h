// The calls of the POSIX implementation that not every POSIX system has. The
// build picks posix_extras_linux.cpp on Linux and posix_extras_generic.cpp,
// which offers none of them, elsewhere; callers always have a way without.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {
namespace posix_extras {

// An unnamed regular file in `directory`, open for writing, with mode 0666
// less the umask; nothing appears in the directory until nameUnnamedFile.
// -1 with errno set on failure; EOPNOTSUPP, EISDIR, EINVAL or ENOSYS say the
// system or file system has no such files.
int openUnnamedFile(const char* directory);

// Links the unnamed file `fd` into its directory as `path`; false with errno
// set on failure (EEXIST: the name is taken).
bool nameUnnamedFile(int fd, const char* path);

// Copies up to `count` bytes of `from`, starting at `offset`, to the current
// position of `to` inside the kernel. Returns the bytes copied, 0 at the end
// of `from`, or -1 with errno set (ENOSYS where the system has no such copy).
long long copyInKernel(int from, std::uint64_t offset, int to, std::size_t count);

// Allocates the first `size` bytes of `fd` on disk without changing the
// file's length or contents. 0, or an errno value:
// ENOSPC, EFBIG or EDQUOT when there is no room, EOPNOTSUPP or EINVAL when
// the system or file system cannot reserve space.
int reserveSpace(int fd, std::uint64_t size);

}  // namespace posix_extras
}  // namespace platform
