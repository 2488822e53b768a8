// The portable way to copy part of an input file into an output file:
// positioned reads into one buffer of bounded size, each followed by a write.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace platform {

// The largest piece moved through memory at once.
constexpr std::size_t kCopyPieceSize = 1u << 20;

// Appends `count` bytes of `source`, from `offset` on, to `target` through a
// buffer of at most kCopyPieceSize bytes.
CopyStatus copyThroughBuffer(InputFile& source, std::uint64_t offset, std::uint64_t count, PendingFile& target);

}  // namespace platform
