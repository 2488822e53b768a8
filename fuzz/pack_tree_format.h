// How fuzz_pack reads its input, shared with the seed generator.
//
// Byte 0 chooses the mode: bit 0 set, the rest is an archive for --check;
// clear, the rest describes a folder tree to pack (bit 1 set: with
// SOURCE_DATE_EPOCH). A tree is a run of records:
//   kind, path length, path bytes, size, size content bytes
// kind bit 0 clear: a file at the path holding the content; set: a link at
// the path to the folder numbered `size` (modulo the folders made so far,
// the root being folder 0), with no content bytes. Each path byte stands for
// kPathAlphabet[byte % 16], where position 15 is the separator '/'.
#pragma once

#include <string_view>

namespace packfuzz {

constexpr std::string_view kPathAlphabet("aAbB_.~zZ:1 \xE9\xC9-/", 16);
constexpr unsigned char kCheckMode = 1;
constexpr unsigned char kWithSourceDateEpoch = 2;
constexpr unsigned char kLinkRecord = 1;

}  // namespace packfuzz
