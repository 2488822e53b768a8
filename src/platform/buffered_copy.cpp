#include "platform/buffered_copy.h"

#include <algorithm>
#include <memory>
#include <new>

namespace platform {
namespace {

// One buffer for every copy of the run, made at the first: allocating it for
// each member would cost a mapping and its page faults every time.
char* copyBuffer() {
  static const std::unique_ptr<char[]> buffer(new char[kCopyPieceSize]);
  return buffer.get();
}

}  // namespace

CopyStatus copyThroughBuffer(InputFile& source, std::uint64_t offset, std::uint64_t count, PendingFile& target) {
  if (count == 0) return CopyStatus::Complete;
  if (!source.seek(offset)) return CopyStatus::SourceEnded;
  char* const buffer = copyBuffer();
  while (count > 0) {
    const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(count, kCopyPieceSize));
    switch (source.read(buffer, piece)) {
      case ReadStatus::Complete:
        break;
      case ReadStatus::EndOfFile:
        return CopyStatus::SourceEnded;
      case ReadStatus::Error:
        return CopyStatus::SourceFailed;
    }
    if (!target.write(buffer, piece)) return CopyStatus::WriteFailed;
    count -= piece;
  }
  return CopyStatus::Complete;
}

}  // namespace platform
