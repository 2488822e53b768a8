// Writes the committed seed corpus of the fuzz targets: small archives, well
// formed and damaged, for the archive targets, pattern/name pairs for the
// matcher, and small trees and archives for the packer.
// Usage: make_fuzz_corpus <dir>  (writes <dir>/<target>/<seed>).
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "pack_tree_format.h"
#include "support/slf_writer.h"

namespace fs = std::filesystem;
using slftest::Member;
using slftest::SlfWriter;

namespace {

SlfWriter threeEntries() {
  return SlfWriter()
      .libraryName("Faces.slf")
      .basePath("faces\\")
      .add("face33\\speck.sti", "SPECK33")
      .add("speck.sti", "SPECK")
      .add("other/x.dat", std::string(40, 'x'));
}

Member withRecord(std::string name, std::string data, bool setOffset, std::int32_t offset, bool setLength,
                  std::int32_t length) {
  Member member;
  member.name = std::move(name);
  member.data = std::move(data);
  member.overrideOffset = setOffset;
  member.offset = offset;
  member.overrideLength = setLength;
  member.length = length;
  return member;
}

std::vector<std::pair<std::string, std::string>> archives() {
  std::vector<std::pair<std::string, std::string>> seeds;
  const std::string three = threeEntries().build();
  seeds.emplace_back("three-entries.slf", three);
  seeds.emplace_back("three-entries-cut-in-directory.slf", three.substr(0, three.size() - 300));
  seeds.emplace_back("header-only.slf", three.substr(0, 532));
  seeds.emplace_back("cut-in-header.slf", three.substr(0, 300));
  seeds.emplace_back("empty-directory.slf", SlfWriter().basePath("base\\").build());
  seeds.emplace_back("negative-count.slf", SlfWriter().add("a", "A").entryCount(-3).build());
  seeds.emplace_back("count-too-large.slf", threeEntries().entryCount(5).build());
  seeds.emplace_back("duplicate-names.slf", SlfWriter()
                                                .add("dup.txt", "first")
                                                .add("DUP.txt", "upper")
                                                .add("dir\\dup.txt", "second")
                                                .add("dup.txt", "third")
                                                .build());
  seeds.emplace_back("bad-records.slf",
                     SlfWriter()
                         .add(withRecord("top-bit.dat", "abc", false, 0, true, INT32_MIN))
                         .add(withRecord("past-end.dat", "abc", true, 0x7FFFFFF0, false, 0))
                         .add(withRecord("negative-offset.dat", "abc", true, -4, false, 0))
                         .add(withRecord("empty-anywhere.dat", "", true, -77, true, 0))
                         .add("ok.dat", "ok")
                         .build());
  seeds.emplace_back("unterminated-fields.slf", SlfWriter()
                                                    .libraryName(std::string(256, 'L'))
                                                    .basePath(std::string(256, 'b'))
                                                    .add(std::string(256, 'n'), "N")
                                                    .build());
  seeds.emplace_back("unsafe-names.slf", SlfWriter()
                                             .add("..\\up.txt", "1")
                                             .add("a\\..\\..\\b.txt", "2")
                                             .add("\\rooted.txt", "3")
                                             .add("/rooted.txt", "4")
                                             .add("C:\\drive.txt", "5")
                                             .add("C:relative.txt", "6")
                                             .add("inside\\..", "7")
                                             .add("fine\\x.txt", "8")
                                             .build());
  seeds.emplace_back("odd-paths.slf", SlfWriter()
                                          .basePath("base")
                                          .add("dir\\", "d")
                                          .add("", "e")
                                          .add(".", "f")
                                          .add("a\\\\b//c.txt", "g")
                                          .add("a/b\\c/d.txt", "h")
                                          .add("a", "file where a directory is")
                                          .add("a\\x.txt", "i")
                                          .add(".\\dot.txt", "j")
                                          .build());
  seeds.emplace_back("dot-base.slf",
                     SlfWriter().basePath(".").add("x.txt", "x").add("y\\z.txt", "z").add(".\\up.txt", "u").build());
  seeds.emplace_back("control-bytes.slf",
                     SlfWriter()
                         .libraryName("lib\x1b[31m")
                         .add(std::string("esc\x1b]0;title\x07.txt"), "c")
                         .add(std::string("new\nline\r\x7f\x80\xff.txt"), "d")
                         .build());
  return seeds;
}

std::vector<std::pair<std::string, std::string>> matchPairs() {
  using namespace std::string_literals;
  return {
      {"star-middle", "*SPECK*\0face33\\speck.sti"s},
      {"question", "a?c\0abc"s},
      {"backtrack", "a*a*a*b\0aaaaaaaaaaaaaaaaaaaaaab"s},
      {"stars-only", "***\0"s},
      {"empty", "\0"s},
      {"folding", "[Z]\0[z]"s},
      {"high-bytes", "\xc4*\xe4\0\xc4x\xe4"s},
      {"trailing", "*.sti\0gun01.sti.bak"s},
      {"no-name", "?"s},
  };
}

// A tree for fuzz_pack: each file's path spelled in its alphabet, then its
// contents; a link is a path and the number of the folder it leads to.
struct TreeItem {
  std::string path;
  std::string contents;
  bool link = false;
  unsigned char folder = 0;
};

std::string treeSeed(unsigned char mode, const std::vector<TreeItem>& items) {
  std::string bytes(1, static_cast<char>(mode));
  for (const TreeItem& item : items) {
    bytes += static_cast<char>(item.link ? packfuzz::kLinkRecord : 0);
    bytes += static_cast<char>(item.path.size());
    for (const char c : item.path) {
      const std::size_t at = packfuzz::kPathAlphabet.find(c);
      if (at == std::string_view::npos) throw std::runtime_error("no such path byte in " + item.path);
      bytes += static_cast<char>(at);
    }
    bytes += static_cast<char>(item.link ? item.folder : item.contents.size());
    if (!item.link) bytes += item.contents;
  }
  return bytes;
}

std::vector<std::pair<std::string, std::string>> packSeeds() {
  std::vector<std::pair<std::string, std::string>> seeds = {
      {"nested-tree", treeSeed(0, {{"a/B/z.1", "zz"}, {"A_/~", ""}, {"b", std::string(40, 'b')}, {"Z", "Z"}})},
      {"reproducible-tree", treeSeed(packfuzz::kWithSourceDateEpoch, {{"zA/b", "1"}, {"a", "2"}})},
      {"case-clash", treeSeed(0, {{"aB/z", "1"}, {"Ab/Z", "2"}})},
      {"colon", treeSeed(0, {{"a:b", "1"}})},
      {"linked-folder", treeSeed(0, {{"a/b", "1"}, {"z/~", "2"}, {"Z/zz", "", true, 1}})},
      {"loop", treeSeed(0, {{"a/b", "1"}, {"a/~", "", true, 0}})},
  };
  for (const auto& [name, bytes] : archives()) seeds.emplace_back("check-" + name, "\x01" + bytes);
  return seeds;
}

void writeSeed(const fs::path& directory, const std::string& name, const std::string& bytes) {
  fs::create_directories(directory);
  std::ofstream out(directory / name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + (directory / name).string());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make_fuzz_corpus <corpus directory>\n", stderr);
    return 2;
  }
  const fs::path root = argv[1];
  for (const auto& [name, bytes] : archives()) {
    writeSeed(root / "fuzz_load_list", name, bytes);
    writeSeed(root / "fuzz_extract", name, bytes);
  }
  for (const auto& [name, bytes] : matchPairs()) writeSeed(root / "fuzz_match", name, bytes);
  for (const auto& [name, bytes] : packSeeds()) writeSeed(root / "fuzz_pack", name, bytes);
  return 0;
}
