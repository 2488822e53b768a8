// Writes the small demonstration archive shipped in examples/:
//   make_demo_archive examples/demo.slf
#include <cstdio>
#include <exception>
#include <string>

#include "support/slf_writer.h"

namespace {

std::string pattern(char first, std::size_t size) {
  std::string bytes;
  for (std::size_t i = 0; i < size; ++i) bytes += static_cast<char>(first + static_cast<char>(i % 26));
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make_demo_archive OUTPUT.slf\n", stderr);
    return 2;
  }
  try {
    slftest::SlfWriter()
        .libraryName("Demo.slf")
        .basePath("demo\\")
        .add("readme.txt", "A small archive for trying arcdig.\n")
        .add("faces\\speck.sti", pattern('a', 1200))
        .add("faces\\face33\\speck.sti", pattern('A', 900))
        .add("faces\\gus.sti", pattern('g', 640))
        .add("tiles\\49\\grass.sti", pattern('m', 2048))
        .add("tiles\\49\\water.sti", pattern('w', 1536))
        .add("tiles\\50\\rock.sti", pattern('r', 512))
        .writeTo(argv[1]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "make_demo_archive: %s\n", error.what());
    return 1;
  }
  return 0;
}
