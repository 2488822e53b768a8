#include "platform/buffered_copy.h"

#include <algorithm>
#include <memory>
#include <new>

namespace platform {

CopyStatus copyThroughBuffer(InputFile& source, std::uint64_t offset, std::uint64_t count, PendingFile& target) {
  if (count == 0) return CopyStatus::Complete;
  if (!source.seek(offset)) return CopyStatus::SourceEnded;
  const auto bufferSize = static_cast<std::size_t>(std::min<std::uint64_t>(count, kCopyPieceSize));
  const std::unique_ptr<char[]> buffer(new char[bufferSize]);
  while (count > 0) {
    const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(count, bufferSize));
    switch (source.read(buffer.get(), piece)) {
      case ReadStatus::Complete:
        break;
      case ReadStatus::EndOfFile:
        return CopyStatus::SourceEnded;
      case ReadStatus::Error:
        return CopyStatus::SourceFailed;
    }
    if (!target.write(buffer.get(), piece)) return CopyStatus::WriteFailed;
    count -= piece;
  }
  return CopyStatus::Complete;
}

}  // namespace platform
