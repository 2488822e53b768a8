#include <cstdlib>

#include "pack/front.h"

int main(int argc, char** argv) {
  return pack::run(argc, argv, std::getenv("SOURCE_DATE_EPOCH"), platform::systemConsole(),
                   platform::systemFileSystem());
}
