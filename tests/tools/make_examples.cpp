// Writes the example archives shipped in examples/:
//   make_examples examples
#include <cstdio>
#include <fstream>
#include <string>

#include "support/example_archives.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make_examples FOLDER\n", stderr);
    return 2;
  }
  for (const slftest::ExampleArchive& archive : slftest::exampleArchives()) {
    const std::string path = std::string(argv[1]) + "/" + archive.fileName;
    const std::string bytes = archive.bytes();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::fprintf(stderr, "make_examples: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
